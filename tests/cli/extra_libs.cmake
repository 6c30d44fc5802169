# The serials commands' tests hand out numbers through serial/'s store, as a
# station does; a build without serial/ leaves them out.
if(NOT TARGET vm_serial)
  set_source_files_properties(${dir}/cli_serials_test.cpp PROPERTIES HEADER_FILE_ONLY ON)
endif()
# So do the report's, from stores seeded by hand and by real runs; the
# line's page is served only where the web views are built too.
if(NOT TARGET vm_serial)
  set_source_files_properties(${dir}/cli_report_test.cpp ${dir}/cli_line_test.cpp PROPERTIES HEADER_FILE_ONLY ON)
endif()
if(NOT TARGET vm_serial OR NOT TARGET vm_web)
  set_source_files_properties(${dir}/cli_line_page_test.cpp PROPERTIES HEADER_FILE_ONLY ON)
endif()
# The station's live views (--listen) are read over HTTP and held against
# its records; a build without web/ leaves them out.
if(TARGET vm_web)
  target_link_libraries(vm_tests_${name} PRIVATE vm_test_web)
else()
  set_source_files_properties(${dir}/cli_listen_test.cpp PROPERTIES HEADER_FILE_ONLY ON)
endif()
