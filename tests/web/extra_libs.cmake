# Included by tests/CMakeLists.txt for this folder's binary: the raw
# clients; for the pages, a headless chromium to look at them, the real
# vm612k to run a station and a line, and a PostgreSQL server for the line.
target_link_libraries(vm_tests_${name} PRIVATE vm_test_web vm_test_browser)
target_compile_definitions(vm_tests_${name} PRIVATE VM612K_SCREENSHOT_DIR="${CMAKE_BINARY_DIR}/screenshots"
                           VM612K_PAGE_SOURCES="${PROJECT_SOURCE_DIR}/web/pages")
if(TARGET vm612k)
  add_dependencies(vm_tests_${name} vm612k)
  target_compile_definitions(vm_tests_${name} PRIVATE VM612K_CLI_PATH="$<TARGET_FILE:vm612k>")
endif()
if(TARGET vm_serial)
  target_link_libraries(vm_tests_${name} PRIVATE vm_test_postgres)
else()
  set_source_files_properties(${dir}/line_page_run_test.cpp PROPERTIES HEADER_FILE_ONLY ON)
endif()
