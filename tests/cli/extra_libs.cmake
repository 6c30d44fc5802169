# The serials commands' tests hand out numbers through serial/'s store, as a
# station does; a build without serial/ leaves them out.
if(NOT TARGET vm_serial)
  set_source_files_properties(${dir}/cli_serials_test.cpp PROPERTIES HEADER_FILE_ONLY ON)
endif()
# So do the report's, from stores seeded by hand and by real runs; its live
# page is served only where the web views are built.
if(NOT TARGET vm_serial)
  set_source_files_properties(${dir}/cli_report_test.cpp ${dir}/cli_line_test.cpp PROPERTIES HEADER_FILE_ONLY ON)
endif()
if(TARGET vm_web)
  target_compile_definitions(vm_tests_${name} PRIVATE VM612K_SERVES_PAGES=1)
endif()
