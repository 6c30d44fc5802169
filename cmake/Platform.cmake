# Which platform backends this build carries.
if(WIN32)
  set(VM_PLATFORM win32)
else()
  set(VM_PLATFORM linux)
endif()
find_package(Threads REQUIRED)
