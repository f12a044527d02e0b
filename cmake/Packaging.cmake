# Install rules of the command-line programs and the Debian package (make package).
include(GNUInstallDirs)
# Debian keeps documentation under the package name, whatever the project is called.
set(VARISTRUM_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/varistrum)

install(TARGETS varistrum-cli varistrum-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/docs/varistrum-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${VARISTRUM_DOC_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/examples/drive-example.klf DESTINATION ${VARISTRUM_DOC_DIR}/examples)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varistrum)
set(CPACK_PACKAGE_VENDOR "Varistrum CW")
set(CPACK_PACKAGE_CONTACT "Varistrum CW developers <varistrum@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Drive-test receiver log converter (desktop window and command line)")
set(CPACK_PACKAGE_DESCRIPTION
    "Converts the binary drive-test logs of a scanning receiver into delimited text for mapping and GIS tools.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY varistrum)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # Qt, libstdc++ and libc from the binaries' links
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
