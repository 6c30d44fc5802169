# libFuzzer builds: every library is compiled with coverage instrumentation
# and AddressSanitizer/UndefinedBehaviorSanitizer; the fuzz targets themselves
# (tests/fuzz) also link libFuzzer's main.
if(NOT VM_FUZZ)
  return()
endif()
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "VM_FUZZ needs clang (libFuzzer); configure with the fuzz preset")
endif()

set(VM_FUZZ_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=undefined)
add_compile_options(-fsanitize=fuzzer-no-link ${VM_FUZZ_SANITIZERS} -fno-omit-frame-pointer)
add_link_options(${VM_FUZZ_SANITIZERS})

set(VM_FUZZ_SECONDS 10 CACHE STRING "How long each fuzz target runs under ctest")
