# GoogleTest for the test binaries, and how each binary is registered with
# CTest.
#
# Native builds use the installed GoogleTest. Cross builds for Windows compile
# it from Debian's sources in /usr/src/googletest, which yields the same
# GTest::gtest_main target.
include(GoogleTest)

set(VM_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")

if(CMAKE_CROSSCOMPILING AND NOT TARGET GTest::gtest_main)
  if(NOT EXISTS ${VM_GTEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${VM_GTEST_SOURCE_DIR} "
                        "(Debian package googletest)")
  endif()
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${VM_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL)
  # GoogleTest's own warnings are not ours to fix.
  foreach(t gtest gtest_main gmock gmock_main)
    if(TARGET ${t})
      target_compile_options(${t} PRIVATE -w)
    endif()
  endforeach()
endif()

# vm_add_gtest(<target>)
#
# Registers one GoogleTest binary. Natively every test case becomes its own
# CTest test, listed when the tests run. A Windows binary runs under Wine
# (the cross-compiling emulator) once as a whole: starting Wine per test case
# would cost more than the tests.
#
# Each binary gets a scratch folder of its own, passed in VM612K_TEST_TMP.
# Test cases of one binary may run at the same time, so they name their files
# after the test case.
function(vm_add_gtest target)
  set(tmp ${CMAKE_CURRENT_BINARY_DIR}/tmp/${target})
  file(MAKE_DIRECTORY ${tmp})
  if(CMAKE_CROSSCOMPILING AND WIN32)
    add_test(NAME ${target} COMMAND ${target} --gtest_color=no)
    set_tests_properties(${target} PROPERTIES TIMEOUT 900 ENVIRONMENT "VM612K_TEST_TMP=Z:${tmp}")
  else()
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         PROPERTIES TIMEOUT 300 ENVIRONMENT "VM612K_TEST_TMP=${tmp}")
  endif()
endfunction()

# vm_add_standalone_check()
#
# Windows builds: one test that checks every program of the build imports
# no DLL of the MinGW tool chain. Call once, after all folders are added.
function(vm_add_standalone_check)
  if(NOT WIN32)
    return()
  endif()
  set(programs)
  set(dirs ${PROJECT_SOURCE_DIR})
  while(dirs)
    list(POP_FRONT dirs dir)
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    list(APPEND dirs ${subdirs})
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(t ${targets})
      get_target_property(type ${t} TYPE)
      get_target_property(excluded ${t} EXCLUDE_FROM_ALL)
      if(type STREQUAL "EXECUTABLE" AND NOT excluded)
        list(APPEND programs $<TARGET_FILE:${t}>)
      endif()
    endforeach()
  endwhile()
  if(programs)
    add_test(NAME win32_programs_standalone
             COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} "-DPROGRAMS=${programs}"
                     -P ${PROJECT_SOURCE_DIR}/cmake/CheckStandalone.cmake)
  endif()
endfunction()

# vm_add_shipped_check()
#
# Windows builds: one test (label "pe") that reads the headers of the three
# programs we hand out (cmake/CheckShipped.cmake). It needs no Wine, so it
# runs on every machine: where 32-bit programs cannot run, `make test` runs
# it alone on the 32-bit build (the win32-headers test preset).
function(vm_add_shipped_check)
  if(NOT WIN32)
    return()
  endif()
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(machine i386)
  else()
    set(machine x86-64)
  endif()
  string(REGEX REPLACE "objdump$" "objcopy" objcopy "${CMAKE_OBJDUMP}")
  add_test(NAME windows_shipped_programs
           COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DOBJCOPY=${objcopy}
                   -DMACHINE=${machine} -DELEVATED=$<TARGET_FILE:QX_App_Launcher>
                   "-DPROGRAMS=$<TARGET_FILE:QX_App_Launcher>;$<TARGET_FILE:QX_App_EN>;$<TARGET_FILE:QX_App_SC>"
                   -DSCRATCH=${CMAKE_BINARY_DIR}/tmp/shipped
                   -P ${PROJECT_SOURCE_DIR}/cmake/CheckShipped.cmake)
  set_tests_properties(windows_shipped_programs PROPERTIES LABELS pe TIMEOUT 120)
endfunction()
