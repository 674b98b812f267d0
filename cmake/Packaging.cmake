# make deb: a Debian package of the installed layout below /usr. The library dependencies come from
# dpkg-shlibdeps, so they are Debian's own package names and versions; the rest are named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelmor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Pelmor developers <feedback@pelmor.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "fetch pictures and files whose names carry consecutive numbers")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Collects pictures and other files from web servers whose file names carry consecutive numbers,\n\
lists the download jobs in a window, shows the fetched pictures and runs job lists from a terminal.\n\
The interface is Japanese.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The local-memory library is the package's own: shlibdeps finds it there instead of asking dpkg.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
# Without a platform plug-in the program cannot open a window; fonts and Qt's Japanese texts and
# picture formats make it look as it should.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, qt6-image-formats-plugins, qt6-translations-l10n")
include(CPack)
