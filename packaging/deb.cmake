# make deb: the Linux programs, their manual page, the udev rule and the
# README, installed below /usr and packed by CPack into
# <build>/package/vm612k_<version>_<arch>.deb.
include(GNUInstallDirs)

# The programs of the package; the desktop program joins them when it is
# built (Qt 6 found), in the same package.
set(VM_PACKAGE_PROGRAMS vm612k vm612k-gui)
foreach(program ${VM_PACKAGE_PROGRAMS})
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# Manual pages are installed compressed, as Debian has them; the page's
# version comes from the project's.
set(VM_MAN_PAGE ${CMAKE_CURRENT_BINARY_DIR}/vm612k.1)
configure_file(vm612k.1 ${VM_MAN_PAGE} @ONLY)
add_custom_command(OUTPUT ${VM_MAN_PAGE}.gz
                   COMMAND gzip -9nkf ${VM_MAN_PAGE}
                   DEPENDS ${VM_MAN_PAGE}
                   COMMENT "Compressing the manual page"
                   VERBATIM)
add_custom_target(vm_man_pages ALL DEPENDS ${VM_MAN_PAGE}.gz)
install(FILES ${VM_MAN_PAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The desktop program's menu entry and its icon in the sizes of the hicolor
# theme, where desktops look for them.
if(TARGET vm612k-gui)
  install(FILES ${PROJECT_SOURCE_DIR}/desktop/vm612k-gui.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  foreach(side 16 24 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/desktop/icons/${side}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${side}x${side}/apps
            RENAME vm612k-gui.png)
  endforeach()
endif()

# udev reads /usr/lib/udev/rules.d (and /usr/local/lib/... for a local
# install); the rule gives the seat's user the programmer's hidraw nodes.
install(FILES 60-vm612k.rules DESTINATION lib/udev/rules.d)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(VM_PACKAGE_MAINTAINER "VM612K flash programmer developers <vm612k@localhost>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vm612k)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "flash programmer for VM612K voice-chip modules")
set(CPACK_PACKAGE_DESCRIPTION
    "Erases, blank-checks, programs, verifies and reads the SPI NOR flash of\n"
    "VM612K voice-chip modules through their USB HID programmer, and does the\n"
    "same on a built-in emulator without hardware. vm612k is the command\n"
    "line; vm612k-gui, where it is built, the desktop window.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VM_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
