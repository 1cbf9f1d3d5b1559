# The Debian package, built by CPack from the install rules: `cpack -G DEB` in a Release build
# configured with CMAKE_INSTALL_PREFIX=/usr (scripts/package does both).
set(CPACK_PACKAGE_NAME zinteva)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "zinteva developers")
set(CPACK_PACKAGE_CONTACT "zinteva developers <dev@zinteva.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "personal contact directory with groups and birthday reminders")
# The summary above is the synopsis; the lines of the extended description stay under 80 characters.
string(JOIN "\n" CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "zinteva keeps people (name, birthday, phones, postal address, instant"
  "messaging handles, e-mail, nickname, remarks and a photo) in groups that the"
  "user names, shows them as a group tree beside a list, searches them by any"
  "field, also by the pinyin initials of a name, reminds of coming birthdays,"
  "and imports and exports vCard and CSV files. Its windows speak Simplified"
  "Chinese."
  "An installed copy keeps its data file in ~/.local/share/tavrel and refreshes"
  "a backup of it at every orderly exit.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PROJECT_HOMEPAGE_URL})
# The libraries' packages come from the binaries themselves.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The X11 platform plugin and the JPEG reader come with libqt6gui6, the SVG icon engine with
# libqt6svg6: both are named by the libraries already.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-wqy-microhei")
# The desktop database and the icon cache are refreshed by the file triggers of desktop-file-utils
# and hicolor-icon-theme on /usr/share/applications and /usr/share/icons/hicolor: nothing to run
# from maintainer scripts.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)
