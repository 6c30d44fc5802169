# Included by tests/CMakeLists.txt for this folder's binary: the launcher's
# logic, and natively the built launcher that the process tests run.
target_link_libraries(vm_tests_${name} PRIVATE vm_launcher_logic)
if(NOT WIN32)
  add_dependencies(vm_tests_${name} QX_App_Launcher)
  target_compile_definitions(vm_tests_${name} PRIVATE VM_LAUNCHER_PATH="$<TARGET_FILE:QX_App_Launcher>")
endif()
