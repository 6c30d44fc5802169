# Included by tests/CMakeLists.txt for this folder's binary. The binary and a
# stand-in hid.dll (without HidD_GetHidGuid, and with a marker export) share
# a folder of their own: the stand-in sits in the program's folder, where a
# load of "hid.dll" by its bare name would find it first.
set(VM_WIN32USB_DIR ${CMAKE_CURRENT_BINARY_DIR}/win32usb)
add_library(vm_fake_hid SHARED ${dir}/fake_hid.c)
set_target_properties(vm_fake_hid PROPERTIES PREFIX "" OUTPUT_NAME hid
                      RUNTIME_OUTPUT_DIRECTORY ${VM_WIN32USB_DIR}
                      ARCHIVE_OUTPUT_DIRECTORY ${VM_WIN32USB_DIR}/lib)
target_link_options(vm_fake_hid PRIVATE -static-libgcc)
set_target_properties(vm_tests_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VM_WIN32USB_DIR})
add_dependencies(vm_tests_${name} vm_fake_hid)
