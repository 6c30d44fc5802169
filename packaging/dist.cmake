# make dist: the three Windows programs, the sample preferences file and the
# readme, in one folder and one zip file.
set(VM_DIST_DIR ${CMAKE_BINARY_DIR}/dist/VM612K_Flash_Programmer)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/dist)
add_custom_target(dist
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${VM_DIST_DIR}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VM_DIST_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy
          $<TARGET_FILE:QX_App_Launcher> $<TARGET_FILE:QX_App_EN> $<TARGET_FILE:QX_App_SC>
          ${CMAKE_CURRENT_SOURCE_DIR}/RZ4HPreferCtx.ini ${CMAKE_CURRENT_SOURCE_DIR}/readme.txt
          ${VM_DIST_DIR}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${CMAKE_BINARY_DIR}/dist/VM612K_Flash_Programmer.zip
          --format=zip VM612K_Flash_Programmer
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/dist
  DEPENDS QX_App_Launcher QX_App_EN QX_App_SC
  COMMENT "Collecting the Windows programs into dist/VM612K_Flash_Programmer.zip"
  VERBATIM)
