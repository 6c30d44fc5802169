# Included by tests/CMakeLists.txt for this folder's binary: the live views.
target_link_libraries(vm_tests_${name} PRIVATE vm_web)
