# Installing like a Debian program, and the .deb that carries it:
#   cmake --install build --prefix /usr/local
#   cd build && cpack -G DEB
include(GNUInstallDirs)

set(stripothek_app_id de.stripothek.Stripothek)
set(stripothek_packaging ${PROJECT_SOURCE_DIR}/packaging)

# Every library comes from the system, so the programs need no search path of
# their own (Qt's project setup would give them one relative to themselves).
set_target_properties(stripothek stripothek-db PROPERTIES INSTALL_RPATH "")
install(TARGETS stripothek stripothek-db RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${stripothek_packaging}/${stripothek_app_id}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${stripothek_packaging}/${stripothek_app_id}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${stripothek_packaging}/${stripothek_app_id}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/stripothek)

# Debian keeps manual pages compressed; -n leaves the time out, so the
# package is the same from build to build.
set(stripothek_manpages)
foreach(program stripothek stripothek-db)
  set(page ${PROJECT_BINARY_DIR}/${program}.1.gz)
  add_custom_command(OUTPUT ${page}
    COMMAND gzip -9 -n -c ${stripothek_packaging}/${program}.1 > ${page}
    DEPENDS ${stripothek_packaging}/${program}.1
    VERBATIM)
  list(APPEND stripothek_manpages ${page})
endforeach()
add_custom_target(stripothek_manpage ALL DEPENDS ${stripothek_manpages})
install(FILES ${stripothek_manpages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# Where every Debian package says whose work it holds and under which terms.
install(FILES ${stripothek_packaging}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/stripothek)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME stripothek)
set(CPACK_PACKAGE_CONTACT "Stripothek maintainers <maintainers@stripothek.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "catalogue for a private comic-book collection")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Stripothek keeps the catalogue of a private comic-book collection: volumes with\n\
their series, publishers, authors and editions, and your own copies. It filters\n\
and sorts the collection, prints the missing volumes of a series and the whole\n\
collection, and fetches comic data by ISBN from a comics SOAP service. Its user\n\
interface is German; all data lives in one SQLite file.\n\
.\n\
The tool stripothek-db creates databases and serves a catalogue as such a\n\
comics service.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# Shared libraries are found by dpkg-shlibdeps; what Qt loads at run time is not.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# WebP and TIFF covers need the image format plugins.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-liberation, qt6-image-formats-plugins")
include(CPack)

# Builds the package from the tree as it is (no second build), unpacks it into
# a temporary root and checks what a user would get.
add_test(NAME package_deb COMMAND ${stripothek_packaging}/check-deb.sh ${PROJECT_BINARY_DIR})
set_tests_properties(package_deb PROPERTIES TIMEOUT 600)
