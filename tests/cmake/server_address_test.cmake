# The community server's address is checked when the build is configured: a text the
# program could not connect to is refused there, with the reason, instead of failing
# every request at run time. Script mode:
#   cmake -DSOURCE_DIR=<source> -DWORK_DIR=<scratch folder> -P server_address_test.cmake
include(${SOURCE_DIR}/cmake/ServerAddress.cmake)

set(failures "")
foreach(good "127.0.0.1" "127.0.0.1:8080" "10.0.0.255:80" "192.168.1.1:32767" "0.0.0.0:1")
  runwarden_check_server_address("${good}" problem)
  if(problem)
    string(APPEND failures "refused '${good}': ${problem}\n")
  endif()
endforeach()
foreach(bad "updates.example.com" "updates.example.com:80" "127.0.0.1:65536" "127.0.0.1:70000"
            "127.0.0.1:32768" "127.0.0.1:0" "127.0.0.1:" "256.0.0.1" "1.2.3" "1.2.3.4.5"
            "010.0.0.1" " 127.0.0.1" "")
  runwarden_check_server_address("${bad}" problem)
  if(NOT problem)
    string(APPEND failures "took '${bad}'\n")
  endif()
endforeach()

# The whole configure stops at once and names the setting.
file(REMOVE_RECURSE ${WORK_DIR}/bad-address)
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/bad-address -G Ninja
          -DRUNWARDEN_SERVER_ADDRESS=updates.example.com:80
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
file(REMOVE_RECURSE ${WORK_DIR}/bad-address)
if(result EQUAL 0)
  string(APPEND failures "a configure with a host name went through\n")
elseif(NOT errors MATCHES "RUNWARDEN_SERVER_ADDRESS 'updates.example.com:80'")
  string(APPEND failures "the refusal does not say what was wrong:\n${errors}\n")
endif()

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
