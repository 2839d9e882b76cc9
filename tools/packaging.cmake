# Install rules and the Debian package (cd build && cpack -G DEB).
#
# The install tree is a root file system image:
#   /opt/varnel/                    the programs and every shipped file of dist/, as installed;
#                                   the demo messages in demo/ (varnel --demo)
#   /usr/bin/varnel                 the launcher: gives each user a program folder of their own
#   /usr/bin/quilmer                the merge tool, for the command line
#   /usr/bin/varnel-cli             the command-line program, through the launcher (a link)
#   /usr/share/man/man1/varnel-cli.1
#   /usr/share/applications/varnel.desktop
#   /usr/share/icons/hicolor/scalable/apps/varnel.svg
# The client keeps its settings file, logs and folders beside its executable, which must
# therefore be writable: /opt/varnel is only the source the launcher copies each user's
# program folder from (${XDG_DATA_HOME:-$HOME/.local/share}/varnel).
#
# `cmake --install build --prefix /some/root` lays out the same tree under /some/root; the
# launcher there runs with VARNEL_ROOT=/some/root.

set(VARNEL_INSTALL_PROGRAM_DIR opt/varnel)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(varnel_executables VarnelClient Quilmer VarnelLoopback varnel-cli)
install(TARGETS ${varnel_executables} RUNTIME DESTINATION ${VARNEL_INSTALL_PROGRAM_DIR})
# The demo messages are no user's own: they go to demo/, which the launcher copies into the demo
# program folder alone (varnel --demo), with the handbook the loopback registry answers with.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/dist/ DESTINATION ${VARNEL_INSTALL_PROGRAM_DIR}
        PATTERN receive EXCLUDE)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/dist/receive/
        DESTINATION ${VARNEL_INSTALL_PROGRAM_DIR}/demo/receive)
install(FILES ${CMAKE_SOURCE_DIR}/dist/receive/ISSUELIST_20250310.msg
        DESTINATION ${VARNEL_INSTALL_PROGRAM_DIR}/demo/archive/handbook)
# The browser engine of the viewers, loaded from the program folder's plugins on first use.
if(TARGET varnel_htmlview)
  install(TARGETS varnel_htmlview LIBRARY DESTINATION ${VARNEL_INSTALL_PROGRAM_DIR}/plugins)
endif()

# The launcher knows the version it belongs to, where the programs are, and which of the
# installed files are executables (always replaced, never kept as the user's own).
list(JOIN varnel_executables " " VARNEL_LAUNCHER_EXECUTABLES)
configure_file(${CMAKE_SOURCE_DIR}/tools/package/varnel.in ${CMAKE_BINARY_DIR}/package/varnel
               @ONLY)
install(PROGRAMS ${CMAKE_BINARY_DIR}/package/varnel DESTINATION usr/bin)
file(CREATE_LINK /${VARNEL_INSTALL_PROGRAM_DIR}/Quilmer ${CMAKE_BINARY_DIR}/package/quilmer
     SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/package/quilmer DESTINATION usr/bin)
# The command-line program starts through the launcher, which makes the user's folder first.
file(CREATE_LINK varnel ${CMAKE_BINARY_DIR}/package/varnel-cli SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/package/varnel-cli DESTINATION usr/bin)
install(FILES ${CMAKE_SOURCE_DIR}/cli/varnel-cli.1 DESTINATION usr/share/man/man1)
install(FILES ${CMAKE_SOURCE_DIR}/tools/package/varnel.desktop
        DESTINATION usr/share/applications)
install(FILES ${CMAKE_SOURCE_DIR}/shell/icons/varnel.svg
        DESTINATION usr/share/icons/hicolor/scalable/apps)

set(VARNEL_PACKAGE_MAINTAINER "Varnel maintainers <maintainers@varnel.invalid>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Varnel)
set(CPACK_PACKAGE_CONTACT ${VARNEL_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Client for reporting OTC securities deals to a trade registry")
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Varnel composes reports of over-the-counter securities deals and repo deals, checks\n"
  "them against the registry's rules and places them as XML requests in a send folder.\n"
  "It shows the registry's receipts and keeps the securities handbook for picking\n"
  "instruments. Quilmer, a command-line INI merge tool, comes with it.")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_PACKAGING_INSTALL_PREFIX /)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
set(CPACK_STRIP_FILES ON)

# Libraries the programs link come from dpkg-shlibdeps; what Qt loads as plug-ins does not
# show there: the SVG icons of the toolbar, and the SQLite driver of the loopback registry.
# The launcher needs awk besides the essential tools.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(varnel_depends libqt6svg6 "mawk | awk" libqt6sql6-sqlite)
list(JOIN varnel_depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
# Russian texts on Qt's own buttons and file dialogs.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)

# Packaging installs what the build made; it builds nothing itself, so a package test run by
# CTest never starts a build beside other tests.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

include(CPack)

if(VARNEL_BUILD_TESTS)
  add_subdirectory(${CMAKE_SOURCE_DIR}/tests/package ${CMAKE_BINARY_DIR}/tests/package)
endif()
