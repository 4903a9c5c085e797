# The community server's address, fixed at build time, must be one the program can
# connect to: a dotted IPv4 address (four numbers 0 to 255, written without leading
# zeros, which the system would read as octal), optionally ":" and a port from 1 to
# 32767 (the client holds the port in a signed 16-bit number). Sets OUT to the reason an
# address is refused, or to nothing when it is good.
function(runwarden_check_server_address address out)
  set(problem "")
  if(NOT address MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)(:([0-9]+))?$")
    set(problem "is not a dotted IPv4 address with an optional :port")
  else()
    set(port "${CMAKE_MATCH_6}")
    foreach(number IN ITEMS ${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ${CMAKE_MATCH_3} ${CMAKE_MATCH_4})
      if(number MATCHES "^0[0-9]" OR number GREATER 255)
        set(problem "has ${number} where a number from 0 to 255 belongs")
      endif()
    endforeach()
    if(NOT problem AND NOT port STREQUAL "")
      if(port MATCHES "^0" OR port GREATER 32767)
        set(problem "has the port ${port}; the program can reach ports 1 to 32767 only")
      endif()
    endif()
  endif()
  set(${out} "${problem}" PARENT_SCOPE)
endfunction()
