# SPDX-License-Identifier: GPL-3.0-or-later
# Install rules of the programs and their documents, and the Debian package (make package).
include(GNUInstallDirs)
# Debian keeps documentation under the package name, whatever the project is called.
set(VARISTRUM_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/varistrum)
set(VARISTRUM_MAINTAINER "Varistrum CW Maintainers <maintainers@varistrum-cw.example>"
    CACHE STRING "The package's maintainer: a name and a mail address")
set(VARISTRUM_DEB_RELEASE 1)
set(VARISTRUM_DEB_VERSION ${PROJECT_VERSION}-${VARISTRUM_DEB_RELEASE})

# Manual pages and the changelog are installed compressed, without a time stamp (gzip -n), so
# that the same sources give the same package.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(VARISTRUM_PACKAGE_FILES ${CMAKE_BINARY_DIR}/package-files)
configure_file(${CMAKE_SOURCE_DIR}/cmake/debian/changelog.in
               ${VARISTRUM_PACKAGE_FILES}/changelog.Debian @ONLY)
set(VARISTRUM_COMPRESSED)
function(varistrum_compress source gz)
  add_custom_command(
    OUTPUT ${gz}
    COMMAND ${GZIP_PROGRAM} -9 -n -c ${source} > ${gz}
    DEPENDS ${source}
    VERBATIM)
  set(VARISTRUM_COMPRESSED ${VARISTRUM_COMPRESSED} ${gz} PARENT_SCOPE)
endfunction()
set(VARISTRUM_MAN_PAGES varistrum varistrum-cli varistrum-sim)
foreach(page IN LISTS VARISTRUM_MAN_PAGES)
  varistrum_compress(${CMAKE_SOURCE_DIR}/docs/${page}.1 ${VARISTRUM_PACKAGE_FILES}/${page}.1.gz)
endforeach()
varistrum_compress(${VARISTRUM_PACKAGE_FILES}/changelog.Debian
                   ${VARISTRUM_PACKAGE_FILES}/changelog.Debian.gz)
add_custom_target(varistrum_package_files ALL DEPENDS ${VARISTRUM_COMPRESSED})

install(TARGETS varistrum-cli varistrum-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(page IN LISTS VARISTRUM_MAN_PAGES)
  # The window's page only comes with the window.
  if(page STREQUAL "varistrum" AND NOT VARISTRUM_GUI)
    continue()
  endif()
  install(FILES ${VARISTRUM_PACKAGE_FILES}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/cmake/debian/copyright
              ${VARISTRUM_PACKAGE_FILES}/changelog.Debian.gz
        DESTINATION ${VARISTRUM_DOC_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/examples/drive-example.klf DESTINATION ${VARISTRUM_DOC_DIR}/examples)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varistrum)
set(CPACK_PACKAGE_VENDOR "Varistrum CW")
set(CPACK_PACKAGE_CONTACT "${VARISTRUM_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VARISTRUM_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VARISTRUM_DEB_RELEASE})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "drive-test receiver log converter (desktop window and command line)")
set(CPACK_PACKAGE_DESCRIPTION
    "Converts the binary drive-test logs of a scanning receiver into delimited text
or map layers (GeoPackage, GeoJSON, FlatGeobuf, KML) for mapping and GIS tools. The desktop window lists the scans of a log with
its record statistics and converts the chosen ones; varistrum-cli does the
same from a terminal, and varistrum-sim writes simulated logs.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY varistrum)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)
# Qt, GDAL (libgdal32 on Debian 12), libstdc++ and libc from the binaries' links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Directories owned by the package get the usual 0755; files 0644 and programs 0755.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
