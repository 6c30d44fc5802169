# Included by tests/CMakeLists.txt for this folder's binary: the pages, a
# headless chromium to look at them, and a small site of canned replies
# (cpp-httplib) to serve them from.
find_package(PkgConfig REQUIRED)
pkg_check_modules(VM_TEST_HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
target_link_libraries(vm_tests_${name} PRIVATE vm_web_pages vm_test_browser PkgConfig::VM_TEST_HTTPLIB)
target_compile_definitions(vm_tests_${name} PRIVATE VM612K_SCREENSHOT_DIR="${CMAKE_BINARY_DIR}/screenshots"
                           VM612K_PAGE_SOURCES="${PROJECT_SOURCE_DIR}/web/pages")
