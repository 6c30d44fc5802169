# The serials commands' tests hand out numbers through serial/'s store, as a
# station does; a build without serial/ leaves them out.
if(NOT TARGET vm_serial)
  set_source_files_properties(${dir}/cli_serials_test.cpp PROPERTIES HEADER_FILE_ONLY ON)
endif()
if(NOT TARGET vm_serial)
  set_source_files_properties(${dir}/cli_report_test.cpp PROPERTIES HEADER_FILE_ONLY ON)
endif()
