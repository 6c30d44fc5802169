# Included by tests/CMakeLists.txt for this folder's binary: the launcher's
# logic, the built launcher and a stand-in build for the process tests.
target_link_libraries(vm_tests_${name} PRIVATE vm_launcher_logic)

add_executable(vm_launcher_standin ${dir}/standin/standin_main.cpp)
add_dependencies(vm_tests_${name} QX_App_Launcher vm_launcher_standin)
target_compile_definitions(vm_tests_${name} PRIVATE VM_LAUNCHER_PATH="$<TARGET_FILE:QX_App_Launcher>"
                                                    VM_STANDIN_PATH="$<TARGET_FILE:vm_launcher_standin>")
