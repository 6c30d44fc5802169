# cmake -DOBJDUMP=<objdump> -DOBJCOPY=<objcopy> -DMACHINE=i386|x86-64
#       -DPROGRAMS=<a.exe;b.exe> -DELEVATED=<launcher.exe> -DSCRATCH=<folder>
#       -P CheckShipped.cmake
#
# Reads the headers of the programs we hand out and fails on the first that
# would not start, or start wrongly, on a customer's Windows:
#  - the COFF machine is MACHINE (i386 for the programs we ship);
#  - the subsystem is the Windows GUI (no console window opens);
#  - no DLL of the MinGW tool chain is imported (the .exe runs alone);
#  - ELEVATED carries a manifest (resource type 24, id 1) whose requested
#    execution level is requireAdministrator.
# Needs no Wine: everything is read from the files.
foreach(var OBJDUMP OBJCOPY MACHINE PROGRAMS ELEVATED SCRATCH)
  if(NOT ${var})
    message(FATAL_ERROR "CheckShipped.cmake: -D${var}=... missing")
  endif()
endforeach()

set(machine_i386 014c)
set(machine_x86-64 8664)
if(NOT DEFINED machine_${MACHINE})
  message(FATAL_ERROR "CheckShipped.cmake: unknown MACHINE ${MACHINE}")
endif()

set(problems)

# A little-endian number of `bytes` bytes at `offset` of `file`, as hex digits
# (most significant first).
function(read_le file offset bytes out)
  file(READ ${file} hex OFFSET ${offset} LIMIT ${bytes} HEX)
  set(value "")
  string(LENGTH "${hex}" n)
  math(EXPR last "${n} - 2")
  if(last LESS 0)
    set(${out} "" PARENT_SCOPE)
    return()
  endif()
  foreach(i RANGE 0 ${last} 2)
    string(SUBSTRING "${hex}" ${i} 2 byte)
    set(value "${byte}${value}")
  endforeach()
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

function(check_headers program)
  read_le(${program} 0 2 mz)
  if(NOT mz STREQUAL "5a4d")
    set(problems ${problems} "${program}: not an MZ executable" PARENT_SCOPE)
    return()
  endif()
  read_le(${program} 60 4 lfanew_hex)
  math(EXPR pe "0x${lfanew_hex}")
  read_le(${program} ${pe} 4 signature)
  if(NOT signature STREQUAL "00004550")
    set(problems ${problems} "${program}: no PE signature" PARENT_SCOPE)
    return()
  endif()
  math(EXPR machine_at "${pe} + 4")
  read_le(${program} ${machine_at} 2 machine)
  if(NOT machine STREQUAL machine_${MACHINE})
    set(problems ${problems} "${program}: machine 0x${machine}, not ${MACHINE} (0x${machine_${MACHINE}})"
        PARENT_SCOPE)
  endif()
  # The optional header follows the 20 bytes of the file header; its
  # subsystem field is at 68 in both the 32- and the 64-bit layout.
  math(EXPR subsystem_at "${pe} + 24 + 68")
  read_le(${program} ${subsystem_at} 2 subsystem)
  if(NOT subsystem STREQUAL "0002")
    set(problems ${problems} "${program}: subsystem 0x${subsystem}, not the Windows GUI (0x0002)"
        PARENT_SCOPE)
  endif()
endfunction()

function(check_imports program dump)
  string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${dump}")
  foreach(line ${imports})
    string(REPLACE "DLL Name: " "" dll "${line}")
    string(TOLOWER "${dll}" dll_lower)
    if(dll_lower MATCHES "^lib|mingw|pthread|^cyg")
      set(problems ${problems} "${program}: imports ${dll} of the tool chain" PARENT_SCOPE)
    endif()
  endforeach()
endfunction()

# The manifest's text: objdump names the resource leaf of type 0x18, id 1
# and its address; the bytes are read from the .rsrc section alone.
function(check_elevated program dump)
  string(REGEX MATCH "Entry [0-9a-f] ([0-9a-f]+) [0-9a-f]+ Resource Directory" rsrc "${dump}")
  set(rsrc_rva ${CMAKE_MATCH_1})
  string(REGEX MATCH
         "Entry: ID: 0x000018, Value: 0x[0-9a-f]+[\r\n]+[^\n]*[\r\n]+[^\n]*Entry: ID: 0x000001, Value: 0x[0-9a-f]+[\r\n]+[^\n]*[\r\n]+[^\n]*Entry: ID: 0x[0-9a-f]+, Value: 0x[0-9a-f]+[\r\n]+[^\n]*Leaf: Addr: 0x([0-9a-f]+), Size: 0x([0-9a-f]+)"
         leaf "${dump}")
  if(NOT rsrc_rva OR NOT leaf)
    set(problems ${problems} "${program}: no manifest resource (type 24, id 1)" PARENT_SCOPE)
    return()
  endif()
  math(EXPR offset "0x${CMAKE_MATCH_1} - 0x${rsrc_rva}")
  math(EXPR size "0x${CMAKE_MATCH_2}")
  get_filename_component(name ${program} NAME)
  set(section ${SCRATCH}/${name}.rsrc)
  execute_process(COMMAND ${OBJCOPY} -O binary --only-section=.rsrc ${program} ${section}
                  RESULT_VARIABLE rc ERROR_VARIABLE err TIMEOUT 60)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${OBJCOPY} failed on ${program}: ${err}")
  endif()
  file(READ ${section} manifest OFFSET ${offset} LIMIT ${size})
  if(NOT manifest MATCHES "<requestedExecutionLevel[ \t\r\n]+level=\"requireAdministrator\"")
    set(problems ${problems} "${program}: its manifest does not ask for administrator rights"
        PARENT_SCOPE)
  endif()
endfunction()

file(MAKE_DIRECTORY ${SCRATCH})
foreach(program ${PROGRAMS})
  if(NOT EXISTS ${program})
    message(FATAL_ERROR "${program} is missing: build it first")
  endif()
  execute_process(COMMAND ${OBJDUMP} -p ${program} OUTPUT_VARIABLE dump RESULT_VARIABLE rc
                  ERROR_VARIABLE err TIMEOUT 60)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} failed on ${program}: ${err}")
  endif()
  check_headers(${program})
  check_imports(${program} "${dump}")
  if(program STREQUAL ELEVATED)
    check_elevated(${program} "${dump}")
  endif()
  message(STATUS "${program}: read")
endforeach()

if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "programs not fit to ship:\n  ${text}")
endif()
message(STATUS "every program: ${MACHINE}, Windows GUI, no tool-chain DLL; the launcher asks for administrator rights")
