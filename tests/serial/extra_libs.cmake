# Included by tests/CMakeLists.txt for this folder's binary: the serial
# library, and the PostgreSQL server of the tests' own.
target_link_libraries(vm_tests_${name} PRIVATE vm_serial vm_test_postgres)
