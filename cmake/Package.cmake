# `cpack -G DEB`: a Debian package of the installed files. Its dependencies come from
# the shared libraries the programs link (dpkg-shlibdeps); libusb is loaded at run time,
# which dpkg-shlibdeps cannot see, so it is recommended by name. The maintainer scripts
# reload the udev rules; MIME types, desktop entries, icons and manual pages are taken
# up by Debian's own triggers.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zarn26)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The Debian revision: the package is version-revision (1.5.3-1), its changelog
# changelog.Debian.gz (packaging/CMakeLists.txt checks that its newest entry agrees).
set(CPACK_DEBIAN_PACKAGE_RELEASE ${ZARN_DEBIAN_REVISION})
set(CPACK_PACKAGE_VENDOR "The Zarn-2.5/2.6 developers")
set(CPACK_PACKAGE_CONTACT "Zarn-2.5/2.6 support <support@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "companion program of the Zarn-2.5/2.6 strength meter")
# The long description: lines within 80 columns (lintian), as dpkg shows them.
set(CPACK_PACKAGE_DESCRIPTION
    "Reads the memory of the hand-held Zarn-2.5/2.6 impact-type strength meter\nover USB, shows the measurement series in tables and the blows' waveforms\nin a chart, saves and opens data files, prints reports and series sheets,\nand edits the instrument's material coefficients and object names, in\nRussian or English. Includes zarn26-cli for scripts and the instrument\nsimulator zarn26-sim.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.example.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's plugins are loaded at run time too: the X11/Wayland platform plugins, and the
# SQLite driver the help collection is read through.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6sql6-sqlite")
# Qt's own texts (file dialogs, standard buttons) in Russian come from its catalogues.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libusb-0.1-4, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xchm | kchmviewer")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/debian/postinst ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
