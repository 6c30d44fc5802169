# Qt 6 Widgets and libudev for the desktop program vm612k-gui (Debian
# qt6-base-dev, libudev-dev), found here so that the program's folder and its
# tests both see them. Not in the sanitizer, fuzzing or static builds.
set(VM_HAVE_QT OFF)
if(NOT WIN32 AND NOT VM_SANITIZE AND NOT VM_FUZZ AND NOT VM_STATIC_CLI)
  find_package(Qt6 COMPONENTS Widgets Test QUIET)
  find_package(PkgConfig QUIET)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(VM_UDEV IMPORTED_TARGET libudev)
  endif()
  if(Qt6_FOUND AND VM_UDEV_FOUND)
    set(VM_HAVE_QT ON)
  else()
    message(STATUS "No Qt 6 Widgets or libudev: vm612k-gui is not built")
  endif()
endif()
