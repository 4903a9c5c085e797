# The maker's support e-mail address, named in the prompt that asks users to send
# errlog.log by hand, is fixed at build time. It goes into the program as a string, so
# only a plain address is taken: a local part, "@" and a domain of at least two labels.
# Sets OUT to the reason an address is refused, or to nothing when it is good.
function(runwarden_check_support_email address out)
  set(problem "")
  if(NOT address MATCHES "^[A-Za-z0-9._%+-]+@[A-Za-z0-9-]+(\\.[A-Za-z0-9-]+)+$")
    set(problem "is not a plain e-mail address (name@domain.tld)")
  endif()
  set(${out} "${problem}" PARENT_SCOPE)
endfunction()
