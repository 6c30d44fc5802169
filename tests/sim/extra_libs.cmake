# Included by tests/CMakeLists.txt for this folder's binary: the usbredir
# device's link, when it is built (libusbredirparser is there).
if(TARGET vm_usbredir)
  target_sources(vm_tests_${name} PRIVATE ${dir}/redir_link_cases.cpp)
  target_link_libraries(vm_tests_${name} PRIVATE vm_usbredir)
endif()
