# Installed documentation (manual pages, copyright, changelog) and the Debian package built by
# CPack: "cpack -G DEB" in the build folder writes pagimo_VERSION_amd64.deb.
include(GNUInstallDirs)

set(PAGIMO_MAINTAINER "Pagimo developers <maintainers@users.noreply.c-seed-6b954b29.example>")

# Manual pages: the version filled in, compressed as Debian wants them (gzip -9n, no time stamp).
find_program(GZIP_PROGRAM gzip REQUIRED)
set(PAGIMO_DOC_OUT ${PROJECT_BINARY_DIR}/doc)
set(PAGIMO_DOC_FILES)
foreach(page pagimo.1 qrptool.1)
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page} ${PAGIMO_DOC_OUT}/${page} @ONLY)
  add_custom_command(OUTPUT ${PAGIMO_DOC_OUT}/${page}.gz
                     COMMAND ${GZIP_PROGRAM} -9nf -k ${PAGIMO_DOC_OUT}/${page}
                     DEPENDS ${PAGIMO_DOC_OUT}/${page} ${PROJECT_SOURCE_DIR}/docs/man/${page})
  list(APPEND PAGIMO_DOC_FILES ${PAGIMO_DOC_OUT}/${page}.gz)
  install(FILES ${PAGIMO_DOC_OUT}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/docs/changelog.in ${PAGIMO_DOC_OUT}/changelog @ONLY)
add_custom_command(OUTPUT ${PAGIMO_DOC_OUT}/changelog.gz
                   COMMAND ${GZIP_PROGRAM} -9nf -k ${PAGIMO_DOC_OUT}/changelog
                   DEPENDS ${PAGIMO_DOC_OUT}/changelog)
list(APPEND PAGIMO_DOC_FILES ${PAGIMO_DOC_OUT}/changelog.gz)
# The report author's guide with the class reference, compressed as Debian keeps documentation.
add_custom_command(OUTPUT ${PAGIMO_DOC_OUT}/REPORTS.md.gz
                   COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/REPORTS.md ${PAGIMO_DOC_OUT}/REPORTS.md
                   COMMAND ${GZIP_PROGRAM} -9nf ${PAGIMO_DOC_OUT}/REPORTS.md
                   DEPENDS ${PROJECT_SOURCE_DIR}/docs/REPORTS.md)
list(APPEND PAGIMO_DOC_FILES ${PAGIMO_DOC_OUT}/REPORTS.md.gz)
add_custom_target(docs ALL DEPENDS ${PAGIMO_DOC_FILES})
install(FILES ${PAGIMO_DOC_OUT}/changelog.gz ${PAGIMO_DOC_OUT}/REPORTS.md.gz ${PROJECT_SOURCE_DIR}/docs/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pagimo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pagimo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${PAGIMO_MAINTAINER})
set(CPACK_PACKAGE_VENDOR "The Pagimo developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for prepared report files (QRP)")
# The extended description, after the summary line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Pagimo opens prepared-report files (chains of page pictures, optionally
splay-coded), pages through them, prints them through CUPS, saves them and
exports them as text, CSV, HTML or PDF. qrptool, its headless companion,
draws, converts, prints and checks such files from scripts, runs stored
report descriptions, and draws the thumbnails file managers show.")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # pagimo_VERSION_amd64.deb
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The shared libraries come from dpkg-shlibdeps; the fonts the reports' faces map onto are named by
# hand, and the SQL drivers Qt loads at run time (for report data on database servers) are suggested.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fontconfig, fonts-liberation2, fonts-dejavu-core, libzint2.11")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "fonts-wine, fonts-crosextra-carlito, fonts-crosextra-caladea, shared-mime-info, desktop-file-utils, hicolor-icon-theme")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "cups, libqt6sql6-sqlite, libqt6sql6-psql, libqt6sql6-mysql, libqt6sql6-odbc")
# The MIME, desktop and icon caches are refreshed by the file triggers of shared-mime-info,
# desktop-file-utils and hicolor-icon-theme, which watch the folders this package installs into.
include(CPack)
