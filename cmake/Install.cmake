# Installing foldweb as a desktop program, and its Debian package.
#   cmake --install BUILD [--prefix ~/.local]   the program, its manual, its
#                                               desktop entry and its icon
#   cpack -G DEB (in BUILD)                     foldweb_VERSION_ARCH.deb
include(GNUInstallDirs)

install(TARGETS foldweb RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The manual carries the project's version and is installed compressed, as
# man pages are on Debian (-n keeps the time stamp out, so builds match).
set(foldweb_manual ${PROJECT_BINARY_DIR}/dist/foldweb.1)
configure_file(${PROJECT_SOURCE_DIR}/dist/foldweb.1 ${foldweb_manual} @ONLY)
add_custom_command(OUTPUT ${foldweb_manual}.gz
  COMMAND gzip -9nkf ${foldweb_manual}
  DEPENDS ${foldweb_manual}
  COMMENT "Compressing the manual page"
  VERBATIM)
add_custom_target(foldweb_manual ALL DEPENDS ${foldweb_manual}.gz)
# Whatever builds the program builds its manual too, so an install after
# building only the program (as scripts/serve does) still finds it.
add_dependencies(foldweb foldweb_manual)
install(FILES ${foldweb_manual}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The file manager's "Open with": folders and HTML files.
install(FILES ${PROJECT_SOURCE_DIR}/dist/foldweb.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/dist/foldweb.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME foldweb)
set(CPACK_PACKAGE_VENDOR "foldweb developers")
set(CPACK_PACKAGE_CONTACT "foldweb developers <dev@foldweb.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "show a folder of HTML pages in your own browser")
set(CPACK_PACKAGE_DESCRIPTION
  "foldweb serves one folder on http://127.0.0.1:PORT/ and opens the default
browser on it. Files come back with a content type from their extension;
every other address gets a generated index page that links the parent
folder, the sub-folders and the HTML pages. It listens on the loopback
address only and keeps every index page it generated in the user's
temporary folder.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# xdg-open opens the browser, zenity asks for a folder when none is given;
# without them foldweb still serves.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, zenity")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The run-time libraries as the system's own tool reads them from the
# binary (dpkg-dev); without it, the ones a g++ build links.
find_program(FOLDWEB_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(FOLDWEB_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
endif()
include(CPack)

if(FOLDWEB_TESTS)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_test(NAME package.test_package
    COMMAND ${Python3_EXECUTABLE} -m unittest -v test_package
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}/tests/package)
  set_tests_properties(package.test_package PROPERTIES
    ENVIRONMENT "FOLDWEB_BUILD_DIR=${PROJECT_BINARY_DIR};FOLDWEB_CMAKE=${CMAKE_COMMAND};FOLDWEB_CPACK=${CMAKE_CPACK_COMMAND};FOLDWEB_VERSION=${PROJECT_VERSION}"
    # It starts the installed program on a port of the shared range.
    RESOURCE_LOCK foldweb_ports
    TIMEOUT 600)
endif()
