# Included by tests/CMakeLists.txt for this folder's binary: the raw clients.
target_link_libraries(vm_tests_${name} PRIVATE vm_test_web)
