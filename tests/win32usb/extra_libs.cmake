# Included by tests/CMakeLists.txt for this folder's binary. The binary and
# two stand-ins for hid.dll share a folder of their own:
# - hid.dll, without HidD_GetHidGuid and with a marker export: it sits in the
#   program's folder, where a load of "hid.dll" by its bare name would find
#   it first;
# - recording_hid.dll, all entry points, recording what it is asked: bound by
#   name in the tests of the services above hid.dll.
set(VM_WIN32USB_DIR ${CMAKE_CURRENT_BINARY_DIR}/win32usb)
add_library(vm_fake_hid SHARED ${dir}/fake_hid.c)
set_target_properties(vm_fake_hid PROPERTIES PREFIX "" OUTPUT_NAME hid
                      RUNTIME_OUTPUT_DIRECTORY ${VM_WIN32USB_DIR}
                      ARCHIVE_OUTPUT_DIRECTORY ${VM_WIN32USB_DIR}/lib)
target_link_options(vm_fake_hid PRIVATE -static-libgcc)
add_library(vm_recording_hid SHARED ${dir}/recording_hid.c)
set_target_properties(vm_recording_hid PROPERTIES PREFIX "" OUTPUT_NAME recording_hid
                      RUNTIME_OUTPUT_DIRECTORY ${VM_WIN32USB_DIR}
                      ARCHIVE_OUTPUT_DIRECTORY ${VM_WIN32USB_DIR}/lib)
target_link_options(vm_recording_hid PRIVATE -static-libgcc -Wl,--kill-at)
set_target_properties(vm_tests_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VM_WIN32USB_DIR})
add_dependencies(vm_tests_${name} vm_fake_hid vm_recording_hid)
