# `cmake --install` and the Debian package (`cpack -G DEB` in the build folder).
#
#   bin/                          Tamroc, tamroc-mkdb
#   lib/<arch>/tamroc/            Fendra and Rellmark, the program's own libraries
#   share/tamroc/db, Icons        the demo book and catalog copied to the user's
#                                 folder on the first start, the toolbar icons
#   share/applications, metainfo, icons/hicolor   the menu entry and its icon
include(GNUInstallDirs)
set(TAMROC_LIBDIR ${CMAKE_INSTALL_LIBDIR}/tamroc)
set(install_dir ${CMAKE_CURRENT_LIST_DIR})
set(app_id io.github.tamroc.Tamroc)

# The programs find the libraries in their private folder; the libraries
# need no search path of their own.
set_target_properties(Tamroc tamroc-mkdb PROPERTIES
    INSTALL_RPATH "$ORIGIN/../${TAMROC_LIBDIR}")
set_target_properties(Rellmark Fendra PROPERTIES INSTALL_RPATH ""
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
install(TARGETS Tamroc tamroc-mkdb RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS Rellmark Fendra LIBRARY DESTINATION ${TAMROC_LIBDIR} NAMELINK_SKIP)

install(FILES ${PROJECT_SOURCE_DIR}/db/Tamroc.ini ${DEMO_DB}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/tamroc/db PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/Icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tamroc/Icons
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

install(FILES ${install_dir}/share/${app_id}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${install_dir}/share/${app_id}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${install_dir}/share/${app_id}.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 48 256)
    install(FILES ${install_dir}/share/${app_id}-${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME ${app_id}.png)
endforeach()

# Debian wants the copyright and a compressed changelog in the package's doc folder.
set(changelog_gz ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${changelog_gz}
    COMMAND gzip -9 -n -c ${install_dir}/share/changelog > ${changelog_gz}
    DEPENDS ${install_dir}/share/changelog VERBATIM)
add_custom_target(tamroc_changelog ALL DEPENDS ${changelog_gz})
install(FILES ${install_dir}/share/copyright DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/tamroc)
install(FILES ${changelog_gz} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/tamroc RENAME changelog.gz)

set(CPACK_PACKAGE_NAME tamroc)
set(CPACK_PACKAGE_VENDOR "Tamroc developers")
set(CPACK_PACKAGE_CONTACT "Tamroc developers <tamroc@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "household account book with a Japanese interface")
set(CPACK_PACKAGE_DESCRIPTION "Tamroc keeps a household's purchases, and the lists they refer to such as
categories and shops, in tables of a local database, edits them in a
spreadsheet-like grid and totals them by the columns chosen.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# the book tool and the libraries live in the package's private folder
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, fonts-ipafont-gothic | fonts-ipaexfont-gothic")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, libqt6sql6-psql")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
