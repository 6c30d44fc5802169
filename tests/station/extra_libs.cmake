# These tests run the real vm612k binary.
if(TARGET vm612k)
  add_dependencies(vm_tests_station vm612k)
  target_compile_definitions(vm_tests_station PRIVATE VM612K_CLI_PATH="$<TARGET_FILE:vm612k>")
endif()
