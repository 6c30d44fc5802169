# cmake -DOBJDUMP=<objdump> -DPROGRAMS=<a.exe;b.exe> -P CheckStandalone.cmake
#
# Fails when a Windows program imports a DLL of the MinGW tool chain
# (libstdc++, libgcc, winpthread, ...): such a program would not start on a
# machine without them. Only the system's own DLLs may be imported.
if(NOT OBJDUMP OR NOT PROGRAMS)
  message(FATAL_ERROR "usage: -DOBJDUMP=<objdump> -DPROGRAMS=<list> -P CheckStandalone.cmake")
endif()

set(bad)
foreach(program ${PROGRAMS})
  execute_process(COMMAND ${OBJDUMP} -p ${program} OUTPUT_VARIABLE dump RESULT_VARIABLE rc
                  ERROR_VARIABLE err TIMEOUT 60)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} failed on ${program}: ${err}")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${dump}")
  foreach(line ${imports})
    string(REPLACE "DLL Name: " "" dll "${line}")
    string(TOLOWER "${dll}" dll_lower)
    if(dll_lower MATCHES "^lib|mingw|pthread|^cyg")
      list(APPEND bad "${program}: ${dll}")
    endif()
  endforeach()
  list(LENGTH imports n)
  message(STATUS "${program}: ${n} DLLs imported")
endforeach()

if(bad)
  list(JOIN bad "\n  " text)
  message(FATAL_ERROR "programs that need tool-chain DLLs:\n  ${text}")
endif()
