# `make package`: a Debian package of what `cmake --install` installs. dpkg-shlibdeps finds
# the libraries the program links; what it loads at run time is named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ostrovel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR ostrovel.org)
set(CPACK_PACKAGE_CONTACT "Ostrovel <packages@ostrovel.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL https://ostrovel.org)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "set up ZEL-KOR entrance panels and their keys")
set(CPACK_PACKAGE_DESCRIPTION "Ostrovel is a tool for the installer or caretaker of a ZEL-KOR entrance panel,
the intercom and access-control panel at a building door. Over one serial port it
reads and writes the panel's settings, subscriber tables and keys, shows its live
events, opens the lock and writes or reads its firmware. It keeps each building's
subscribers and keys in an SQLite file of its own and exchanges them with CSV files.
Its command-line tool, ostrovel-cli, backs up, restores and compares panels and
converts databases from scripts.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The SQLite driver is a plugin that Qt loads when the first database opens; Qt's own Russian
# texts (standard buttons, file dialogs) are recommended, without them those stay English.
if(OSTROVEL_QT STREQUAL "6")
    set(CPACK_DEBIAN_PACKAGE_DEPENDS libqt6sql6-sqlite)
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS libqt5sql5-sqlite)
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qttranslations5-l10n)
endif()
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/COPYING)
# Where Debian looks for a package's licence.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/ostrovel)
include(CPack)
