# Which platform backends this build carries.
if(WIN32)
  set(VM_PLATFORM win32)
else()
  set(VM_PLATFORM linux)
endif()
find_package(Threads REQUIRED)

# 32-bit x86: doubles are rounded as doubles (SSE2), not kept in the x87
# registers' extended precision, so that floating-point results (the progress
# position of a block, for one) are the same as in the native build. Set here
# rather than in the tool chain's initial flags so that existing build folders
# pick it up too.
if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86|i[3-6]86)$")
  add_compile_options(-msse2 -mfpmath=sse)
endif()
