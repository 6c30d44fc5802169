# Included by tests/CMakeLists.txt for this folder's binary: the Chinese set
# beside the English one every test program links, and, where the compiler
# builds it, the GBK compilation of the Chinese set under its own name.
target_link_libraries(vm_tests_${name} PRIVATE vm_texts_sc)
if(TARGET vm_texts_sc_gbk_probe)
  target_sources(vm_tests_${name} PRIVATE ${dir}/gbk_bytes_check.cpp $<TARGET_OBJECTS:vm_texts_sc_gbk_probe>)
endif()
