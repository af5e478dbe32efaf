# Installing Sicherheit like a desktop application, and the Debian package made from the same rules.
#
# The program finds key.avi and system/user.mdb beside its executable, and takes its folder from the
# executable's resolved path (/proc/self/exe). So the real executable lives in its own folder with key.avi
# beside it, and only a symlink goes onto the PATH:
#
#   <prefix>/lib/sicherheit/sicherheit        the program
#   <prefix>/lib/sicherheit/key.avi           the logon's animation
#   <prefix>/lib/sicherheit/system  -> SICHERHEIT_DATA_DIR (/var/lib/sicherheit), where the administrator
#                                      makes the system database: sicherheit-db init /var/lib/sicherheit/user.mdb
#   <prefix>/bin/sicherheit -> ../lib/sicherheit/sicherheit
#   <prefix>/bin/sicherheit-db
#   <prefix>/share/applications/sicherheit.desktop, share/icons/hicolor/*/apps/sicherheit.png,
#   share/man/man1/sicherheit.1.gz and sicherheit-db.1.gz, share/doc/sicherheit/changelog.gz and copyright
#
# The system database is data the administrator owns, so it lives under /var, outside what the package
# replaces on an upgrade.

set(SICHERHEIT_DATA_DIR "/var/lib/sicherheit" CACHE PATH
    "Where an installed program's system/user.mdb lives (the target of <prefix>/lib/sicherheit/system)")
set(SICHERHEIT_PACKAGE_MAINTAINER
    "Sicherheit maintainers <maintainers@users.noreply.c-seed-8b1852c5.example>" CACHE STRING
    "Maintainer line of the Debian package")

set(_pkgdir lib/sicherheit)
set(_packaging ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS sicherheit RUNTIME DESTINATION ${_pkgdir})
install(FILES ${CMAKE_BINARY_DIR}/bin/key.avi DESTINATION ${_pkgdir})
install(TARGETS sicherheit-db RUNTIME DESTINATION bin)
install(FILES ${_packaging}/sicherheit.desktop DESTINATION share/applications)
install(DIRECTORY ${SICHERHEIT_ICON_DIR} DESTINATION share/icons)

# Symlinks and the compressed manual page are made at install time, so they land under DESTDIR and the
# prefix that `cmake --install` or CPack actually use.
install(CODE "
    set(_root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
    file(MAKE_DIRECTORY \"\${_root}/bin\" \"\${_root}/share/man/man1\")
    file(REMOVE \"\${_root}/bin/sicherheit\" \"\${_root}/${_pkgdir}/system\")
    file(CREATE_LINK ../${_pkgdir}/sicherheit \"\${_root}/bin/sicherheit\" SYMBOLIC)
    file(CREATE_LINK \"${SICHERHEIT_DATA_DIR}\" \"\${_root}/${_pkgdir}/system\" SYMBOLIC)
    message(STATUS \"Installing: \${_root}/bin/sicherheit -> ../${_pkgdir}/sicherheit\")
    message(STATUS \"Installing: \${_root}/${_pkgdir}/system -> ${SICHERHEIT_DATA_DIR}\")
")

# The manual pages and the changelog go compressed as Debian wants them: the best compression and no
# time stamp inside, so that two builds of one version make the same files.
set(_docs ${CMAKE_BINARY_DIR}/packaging)
configure_file(${_packaging}/changelog.in ${_docs}/changelog @ONLY)
set(_gzipped)
foreach(_source ${_docs}/changelog ${_packaging}/sicherheit.1 ${_packaging}/sicherheit-db.1)
    get_filename_component(_name ${_source} NAME)
    add_custom_command(OUTPUT ${_docs}/${_name}.gz
        COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" gzip ${_source} ${_docs}/${_name}.gz
        DEPENDS ${_source} VERBATIM)
    list(APPEND _gzipped ${_docs}/${_name}.gz)
endforeach()
add_custom_target(package-docs ALL DEPENDS ${_gzipped})
install(FILES ${_docs}/sicherheit.1.gz ${_docs}/sicherheit-db.1.gz DESTINATION share/man/man1)
install(FILES ${_docs}/changelog.gz ${_packaging}/copyright DESTINATION share/doc/sicherheit)

# The Debian package.
set(CPACK_PACKAGE_NAME sicherheit)
set(CPACK_PACKAGE_VENDOR "Sicherheit")
set(CPACK_PACKAGE_CONTACT "${SICHERHEIT_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Sicherheitsbeschreibungen: administration of a security database")
set(CPACK_PACKAGE_DESCRIPTION
    "A desktop tool for administering a shared security database: which users\n\
may use which functions of an organisation's applications. It maintains the\n\
users, a tree of functions and function groups and the assignments of users\n\
to functions. The companion command sicherheit-db makes and inspects the\n\
database files. The administrator makes the program's system database with\n\
sicherheit-db init ${SICHERHEIT_DATA_DIR}/user.mdb --admin NAME --password PW")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SICHERHEIT_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Libraries come from dpkg-shlibdeps where it is there; the rest is loaded at run time and never linked:
# the platform plugin, the fonts that stand in for the designed ones, Qt's German texts.
set(_runtime_depends "adduser, qt6-qpa-plugins, fonts-liberation2 | fonts-liberation, fonts-dejavu-core, \
qt6-translations-l10n")
find_program(SICHERHEIT_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(SICHERHEIT_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "${_runtime_depends}")
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS
        "libqt6printsupport6, libqt6widgets6, libqt6gui6, libqt6core6, libsqlcipher0, libpq5, libstdc++6, libc6, ${_runtime_depends}")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${_packaging}/postinst ${_packaging}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_GENERATOR DEB)
include(CPack)
