# AddressSanitizer and UndefinedBehaviorSanitizer for the whole build. Any
# finding ends the process with a failure (no recovery), so a test that
# trips one fails.
if(NOT VM_SANITIZE)
  return()
endif()
if(MSVC OR WIN32)
  message(FATAL_ERROR "VM_SANITIZE needs a native gcc or clang build")
endif()

set(VM_SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all)
add_compile_options(${VM_SANITIZE_FLAGS} -fno-omit-frame-pointer)
add_link_options(${VM_SANITIZE_FLAGS})
