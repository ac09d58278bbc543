# Install rules and the Debian package (scripts/package):
#   cmake --install build --prefix /usr       or       cpack --config build/CPackConfig.cmake
# Installed under /usr, the programs keep their settings, journal and log in
# ~/.config/Tessera (platform/Platform.cpp).
include(GNUInstallDirs)
set(packaging ${PROJECT_SOURCE_DIR}/packaging)
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/tessera)

install(TARGETS tessera tessera-copy tessera-demo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The scheduled copy: its runner on the PATH (systemd finds it there) and the
# user units that start it.
install(PROGRAMS ${packaging}/schedule/tessera-copy-schedule DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${packaging}/schedule/tessera-copy@.service ${packaging}/schedule/tessera-copy@.timer
        DESTINATION lib/systemd/user)
install(FILES ${packaging}/schedule/nightly.conf DESTINATION ${doc_dir}/examples)

install(FILES ${packaging}/tessera.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging}/org.tessera.Tessera.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${packaging}/icons/tessera-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME tessera.png)
endforeach()
install(FILES ${packaging}/icons/tessera.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The operator's manual, with its pictures.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/manual/ DESTINATION ${doc_dir}/manual)
install(FILES ${packaging}/debian/copyright DESTINATION ${doc_dir})

# Manual pages (help2man reads the programs' --help) and the changelog,
# compressed as Debian wants them. Not in the sanitized build, whose programs
# are never installed.
find_program(HELP2MAN help2man)
find_program(GZIP gzip)
if(HELP2MAN AND GZIP AND NOT TESSERA_SANITIZE)
  set(generated ${CMAKE_BINARY_DIR}/packaging)
  set(help2man ${HELP2MAN} --no-info --no-discard-stderr)
  add_custom_command(OUTPUT ${generated}/tessera-copy.1
    COMMAND ${help2man} --name "copy SCADA archives between database generations"
            --output ${generated}/tessera-copy.1 $<TARGET_FILE:tessera-copy>
    DEPENDS tessera-copy VERBATIM)
  add_custom_command(OUTPUT ${generated}/tessera-copy-schedule.1
    COMMAND ${CMAKE_COMMAND} -E env TESSERA_COPY=$<TARGET_FILE:tessera-copy>
            ${help2man} --name "run a scheduled Tessera copy"
            --output ${generated}/tessera-copy-schedule.1 ${packaging}/schedule/tessera-copy-schedule
    DEPENDS tessera-copy ${packaging}/schedule/tessera-copy-schedule VERBATIM)
  add_custom_command(OUTPUT ${generated}/tessera-demo.1
    COMMAND ${help2man} --name "make Tessera's demo databases and data sources"
            --version-string ${PROJECT_VERSION} --output ${generated}/tessera-demo.1 $<TARGET_FILE:tessera-demo>
    DEPENDS tessera-demo VERBATIM)
  configure_file(${packaging}/man/tessera.1.in ${generated}/tessera.1 @ONLY)
  set(pages)
  foreach(page tessera tessera-copy tessera-copy-schedule tessera-demo)
    add_custom_command(OUTPUT ${generated}/${page}.1.gz
      COMMAND ${GZIP} -9 -n -f -k ${generated}/${page}.1
      DEPENDS ${generated}/${page}.1 VERBATIM)
    list(APPEND pages ${generated}/${page}.1.gz)
  endforeach()
  add_custom_command(OUTPUT ${generated}/changelog.gz
    COMMAND ${GZIP} -9 -n -c ${packaging}/debian/changelog > ${generated}/changelog.gz
    DEPENDS ${packaging}/debian/changelog)
  # Built with the programs, so that an install always finds them.
  add_custom_target(tessera_package_files ALL DEPENDS ${pages} ${generated}/changelog.gz)
  install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${generated}/changelog.gz DESTINATION ${doc_dir})
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessera)
set(CPACK_PACKAGE_VENDOR "The Tessera developers")
set(CPACK_PACKAGE_CONTACT "The Tessera developers <tessera@users.noreply.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link, found by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The ODBC drivers are loaded at run time: whichever the archive needs
# (SQLite3 also for tessera-demo); Qt's Chinese texts for its standard
# buttons and dialogs; a font with Chinese characters.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "libsqliteodbc, odbc-postgresql, odbc-mariadb, unixodbc, qt6-translations-l10n, fonts-noto-cjk | fonts-wqy-microhei")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "systemd")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "maintenance tool for the archive of a power utility's SCADA system
Tessera browses and corrects the archived events (operation events, limit
alarms, signal changes, SOE) and telemetry of a SCADA history database, and
copies archives from the older database generation into the newer one. It
reaches its databases through ODBC data sources: SQL Server, Access and
Oracle, SQLite, PostgreSQL and MariaDB. Its user interface is in Simplified
Chinese.
.
Every change goes into an operation journal first and can be undone. The
copy also runs without a window (tessera-copy) and on a schedule (systemd
user units tessera-copy@.timer). tessera-demo makes a demo database.")
include(CPack)
