# Included by tests/CMakeLists.txt for this folder's binary: the serial
# library, and the PostgreSQL server of the tests' own.
target_link_libraries(vm_tests_${name} PRIVATE vm_serial vm_test_postgres)
# The line test runs the real vm612k binary.
if(TARGET vm612k)
  add_dependencies(vm_tests_${name} vm612k)
  target_compile_definitions(vm_tests_${name} PRIVATE VM612K_CLI_PATH="$<TARGET_FILE:vm612k>")
endif()
