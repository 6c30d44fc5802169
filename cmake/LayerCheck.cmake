# The layers link one way: each layer's library, every object of it, links
# with only the layers below it (and a text set, the catalogue being a leaf).
# A call upwards then fails the build of these small programs.
function(vm_add_layer_check layer)
  set(below ${ARGN})
  add_executable(vm_layer_check_${layer} ${PROJECT_SOURCE_DIR}/cmake/layer_check_main.cpp)
  target_link_libraries(vm_layer_check_${layer} PRIVATE
                        "$<LINK_LIBRARY:WHOLE_ARCHIVE,vm_${layer}>" ${below} vm_texts_en Threads::Threads)
endfunction()

if(NOT WIN32 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  vm_add_layer_check(device)
  if(TARGET vm_serial)
    vm_add_layer_check(serial)
  endif()
  vm_add_layer_check(chip vm_device)
  vm_add_layer_check(operations vm_chip vm_device)
  vm_add_layer_check(app vm_operations vm_chip vm_device vm_platform_files)
  if(TARGET vm_serial)
    vm_add_layer_check(job vm_serial vm_app vm_operations vm_chip vm_device vm_platform_files)
  else()
    vm_add_layer_check(job vm_app vm_operations vm_chip vm_device vm_platform_files)
  endif()
  vm_add_layer_check(station vm_app vm_operations vm_chip vm_device vm_platform_files
                     vm_platform_station)
  if(TARGET vm_web)
    vm_add_layer_check(web vm_station vm_app vm_operations vm_chip vm_device vm_platform_files
                       vm_platform_station)
  endif()
endif()
