# Installation and the Debian package: the programs in <prefix>/bin, the stand-in
# firmware-upgrade library in <prefix>/lib/vantel3 (a program looks for it at
# <its folder>/../lib/vantel3), and what makes the updater at home on a Linux desktop: icon,
# desktop entry, man pages, scenario examples, the udev rule for the firmware-upgrade device.

set(VANTEL3_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)

# Relative to the prefix: udev reads <prefix>/lib/udev/rules.d for /usr and /usr/local.
set(VANTEL3_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING
    "Where the udev rule goes, relative to the install prefix")
set(VANTEL3_DATA_DIR "share/vantel3-updater")
# The success scenario that the desktop's demo action and the man pages name.
set(VANTEL3_EXAMPLE_SCENARIO "ru3r-gen2-usb.json")
set(VANTEL3_PACKAGE_MAINTAINER "Vantel 3 updater maintainers <updater@vantel3.invalid>" CACHE
    STRING "Maintainer field of the Debian package")

# The installed paths, as the man pages and the desktop entry name them. The Debian package is
# configured with CMAKE_INSTALL_PREFIX=/usr, so that they match its own prefix.
set(VANTEL3_SCENARIO_DIR "${CMAKE_INSTALL_PREFIX}/${VANTEL3_DATA_DIR}/scenarios")
set(VANTEL3_LIBDIR "${CMAKE_INSTALL_PREFIX}/lib")
if(IS_ABSOLUTE "${VANTEL3_UDEV_RULES_DIR}")
  set(VANTEL3_UDEV_RULES_DIR_SHOWN "${VANTEL3_UDEV_RULES_DIR}")
else()
  set(VANTEL3_UDEV_RULES_DIR_SHOWN "${CMAKE_INSTALL_PREFIX}/${VANTEL3_UDEV_RULES_DIR}")
endif()

# Programs and the library; each only once its target is in the tree.
set(_vantel3_programs vantel3-updater vantel3-updater-text vantel3-tool)
# `vantel3_package_contents` builds exactly what is installed (not the tests), for the package.
add_custom_target(vantel3_package_contents)
foreach(program ${_vantel3_programs})
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION bin)
    add_dependencies(vantel3_package_contents ${program})
  endif()
endforeach()
if(TARGET hiddfu)
  install(TARGETS hiddfu LIBRARY DESTINATION lib/vantel3 RUNTIME DESTINATION lib/vantel3)
  add_dependencies(vantel3_package_contents hiddfu)
endif()

# Man pages, with the installed paths filled in, compressed as Debian wants them.
set(VANTEL3_MAN_PAGES)
foreach(program ${_vantel3_programs})
  if(NOT TARGET ${program})
    continue()
  endif()
  set(_page ${CMAKE_BINARY_DIR}/man/${program}.1)
  configure_file(${VANTEL3_PACKAGING_DIR}/man/${program}.1 ${_page} @ONLY)
  add_custom_command(OUTPUT ${_page}.gz
    COMMAND gzip -9nc ${_page} > ${_page}.gz
    DEPENDS ${_page}
    COMMENT "Compressing the man page ${program}.1")
  list(APPEND VANTEL3_MAN_PAGES ${_page}.gz)
endforeach()
add_custom_target(vantel3_man_pages ALL DEPENDS ${VANTEL3_MAN_PAGES})
add_dependencies(vantel3_package_contents vantel3_man_pages)
install(FILES ${VANTEL3_MAN_PAGES} DESTINATION share/man/man1)

# The icon: drawn as SVG; the PNG is rendered from it (rsvg-convert -w 256 -h 256).
install(FILES ${VANTEL3_PACKAGING_DIR}/vantel3-updater.svg
        DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${VANTEL3_PACKAGING_DIR}/vantel3-updater.png
        DESTINATION share/icons/hicolor/256x256/apps)

# Scenario examples for --simulate, with whatever documents them.
file(GLOB _vantel3_scenarios ${CMAKE_SOURCE_DIR}/scenarios/*.json ${CMAKE_SOURCE_DIR}/scenarios/*.md)
if(_vantel3_scenarios)
  install(FILES ${_vantel3_scenarios} DESTINATION ${VANTEL3_DATA_DIR}/scenarios)
endif()

# The desktop entry, for the window; with a demo action when the example scenario is there.
if(TARGET vantel3-updater)
  set(VANTEL3_DESKTOP_ACTIONS "")
  if(EXISTS ${CMAKE_SOURCE_DIR}/scenarios/${VANTEL3_EXAMPLE_SCENARIO})
    string(CONCAT VANTEL3_DESKTOP_ACTIONS
      "Actions=simulate;\n\n[Desktop Action simulate]\nName=Demo on a Simulated Device\n"
      "Exec=vantel3-updater --simulate ${VANTEL3_SCENARIO_DIR}/${VANTEL3_EXAMPLE_SCENARIO} --speed 4\n")
  endif()
  configure_file(${VANTEL3_PACKAGING_DIR}/vantel3-updater.desktop.in
                 ${CMAKE_BINARY_DIR}/vantel3-updater.desktop @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/vantel3-updater.desktop DESTINATION share/applications)
endif()

# Lets the logged-in user open the firmware-upgrade device (0a12:fffe) without root.
install(FILES ${VANTEL3_PACKAGING_DIR}/70-vantel3-dfu.rules DESTINATION ${VANTEL3_UDEV_RULES_DIR})

install(FILES ${CMAKE_SOURCE_DIR}/docs/troubleshooting.md ${CMAKE_SOURCE_DIR}/docs/vantel3-tool.md
              ${CMAKE_SOURCE_DIR}/docs/simulator.md
        DESTINATION share/doc/vantel3-updater OPTIONAL)

# The licence terms in the machine-readable form Debian reads (the full Apache-2.0 text is
# LICENSE at the top of the source, and /usr/share/common-licenses/Apache-2.0 on Debian),
# and the package's changelog, compressed as Debian wants it.
install(FILES ${VANTEL3_PACKAGING_DIR}/copyright DESTINATION share/doc/vantel3-updater)
set(_vantel3_changelog ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${_vantel3_changelog}
  COMMAND gzip -9nc ${VANTEL3_PACKAGING_DIR}/changelog > ${_vantel3_changelog}
  DEPENDS ${VANTEL3_PACKAGING_DIR}/changelog
  COMMENT "Compressing the package changelog")
add_custom_target(vantel3_changelog ALL DEPENDS ${_vantel3_changelog})
add_dependencies(vantel3_package_contents vantel3_changelog)
install(FILES ${_vantel3_changelog} DESTINATION share/doc/vantel3-updater)
# Tags that are wrong for this package, each with its reason beside it.
install(FILES ${VANTEL3_PACKAGING_DIR}/lintian-overrides
        DESTINATION share/lintian/overrides RENAME vantel3-updater)

# The software centres' entry (GNOME Software, KDE Discover): AppStream metainfo. The id is
# for ever; the web addresses are where a distributor publishes docs/screenshots.
set(VANTEL3_APPSTREAM_ID "invalid.vantel3.updater" CACHE STRING "AppStream component id")
set(VANTEL3_HOMEPAGE "https://vantel3.invalid/updater" CACHE STRING "The project's web page")
set(VANTEL3_SCREENSHOT_URL "${VANTEL3_HOMEPAGE}/screenshots" CACHE STRING
    "Where the images of docs/screenshots are published")
if(TARGET vantel3-updater)
  configure_file(${VANTEL3_PACKAGING_DIR}/vantel3-updater.metainfo.xml.in
                 ${CMAKE_BINARY_DIR}/${VANTEL3_APPSTREAM_ID}.metainfo.xml @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/${VANTEL3_APPSTREAM_ID}.metainfo.xml
          DESTINATION share/metainfo)
endif()

# The Debian package.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "vantel3-updater")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vantel")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firmware and content updater for Vantel 3 devices")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VANTEL3_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# The summary above is its first line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Brings the main firmware, boot loader, Bluetooth firmware and content\n"
    "folders of a Vantel 3 device (VO3, RU3R) up to the versions of an update\n"
    "package, leading the user through the device's steps in one window\n"
    "(vantel3-updater) or in a terminal (vantel3-updater-text). Includes\n"
    "vantel3-tool for packagers and support staff, a simulated device to try an\n"
    "update without hardware, and a udev rule that gives the logged-in user\n"
    "access to the device in firmware-upgrade mode.")
string(JOIN "" CPACK_DEBIAN_PACKAGE_DESCRIPTION ${CPACK_DEBIAN_PACKAGE_DESCRIPTION})
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")
find_program(VANTEL3_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VANTEL3_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(_vantel3_depends "libc6, libstdc++6, libgcc-s1, libudev1, libsystemd0")
  if(TARGET vantel3-updater)
    string(APPEND _vantel3_depends ", libqt6widgets6, libqt6gui6, libqt6core6")
  endif()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${_vantel3_depends}")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${VANTEL3_PACKAGING_DIR}/postinst ${VANTEL3_PACKAGING_DIR}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
