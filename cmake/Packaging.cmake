# Installing the program and its Debian package.
#
# The program lives in its own folder (KELVORA_INSTALL_DIR, /opt/kelvora) because
# it reads and writes "Kelvora.ini" beside its executable. The install prefix
# is "/", so that `cmake --install` and the package lay out the same tree:
#   /opt/kelvora/Kelvora                            the program
#   /usr/bin/kelvora                                 a link to it, for the shell
#   /usr/share/applications/kelvora.desktop          the desktop entry
#   /usr/share/icons/hicolor/scalable/apps/kelvora.svg
#   /usr/lib/tmpfiles.d/kelvora.conf                 the embedded engine's lock folder
#
# Build the package: cmake --build <dir> --target Kelvora, then
# cpack --config <dir>/CPackConfig.cmake (the .deb lands in <dir>/package).

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX "/" CACHE PATH "Install prefix; the program's folder and the desktop files lie below it" FORCE)
endif()

set(KELVORA_INSTALL_PATH "/${KELVORA_INSTALL_DIR}")
set(KELVORA_EXECUTABLE "${KELVORA_INSTALL_PATH}/Kelvora")
set(_kelvora_pkg_dir "${PROJECT_BINARY_DIR}/packaging")

configure_file(packaging/kelvora.desktop.in "${_kelvora_pkg_dir}/kelvora.desktop" @ONLY)
configure_file(packaging/postinst.in "${_kelvora_pkg_dir}/postinst" @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
configure_file(packaging/postrm.in "${_kelvora_pkg_dir}/postrm" @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(FILES "${_kelvora_pkg_dir}/kelvora.desktop" DESTINATION usr/share/applications)
install(FILES packaging/kelvora.svg DESTINATION usr/share/icons/hicolor/scalable/apps)
# The engine's lock folder for the operators, made again at each boot.
install(FILES packaging/kelvora-tmpfiles.conf DESTINATION usr/lib/tmpfiles.d RENAME kelvora.conf)

# A relative link, so that it also points at the program inside a DESTDIR.
file(RELATIVE_PATH _kelvora_link_target "/usr/bin" "${KELVORA_EXECUTABLE}")
file(CREATE_LINK "${_kelvora_link_target}" "${_kelvora_pkg_dir}/kelvora" SYMBOLIC)
install(FILES "${_kelvora_pkg_dir}/kelvora" DESTINATION usr/bin)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvora)
set(CPACK_PACKAGE_VENDOR "Kelvora")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Daily sales submission for a retail store's back office")
set(CPACK_PACKAGE_DESCRIPTION
    "Kelvora reads a day's payment totals from the store's Firebird point-of-sale\n"
    "database, checks and writes the period-close journal, and opens the\n"
    "submission in the web browser. Operators who change the settings belong to\n"
    "group kelvora.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX "/")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/package")

# cpack installs through this script instead of building the whole tree.
set(CPACK_INSTALL_CMAKE_PROJECTS "")
configure_file(packaging/install_for_cpack.cmake.in "${_kelvora_pkg_dir}/install_for_cpack.cmake.in" @ONLY)
file(GENERATE OUTPUT "${_kelvora_pkg_dir}/install_for_cpack.cmake"
     INPUT "${_kelvora_pkg_dir}/install_for_cpack.cmake.in")
set(CPACK_INSTALL_SCRIPTS "${_kelvora_pkg_dir}/install_for_cpack.cmake")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Kelvora back office <backoffice@kelvora.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries the program links (Qt 6 Widgets, libfbclient2, the C++ runtime)
# come from dpkg-shlibdeps with their versions. What it loads or starts by
# name is added here: the embedded engine that libfbclient2 loads for a plain
# file path, xdg-open for the browser, and addgroup for the postinst.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "firebird3.0-server-core, xdg-utils, adduser")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${_kelvora_pkg_dir}/postinst;${_kelvora_pkg_dir}/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
