# Install rules and packaging.
#
# Installs the program as a desktop application: the binary, a desktop entry,
# the icon in three sizes and AppStream metadata, all named after one
# application ID. CPack turns the same install tree into a .deb
# (scripts/package).
include(GNUInstallDirs)

set(SKINPREVIEW_APP_ID org.skinpreview.SkinPreview)

install(TARGETS skinpreview RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The command-line companion: checks skins and draws them (its manual page
# comes from docs/man/skintool.1.scd).
install(TARGETS skintool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${PROJECT_SOURCE_DIR}/packaging/${SKINPREVIEW_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/${SKINPREVIEW_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The 64 x 64 icon is the window icon's drawing (assets/icon.bmp) with
# transparent corners; the larger ones are renderings of the same drawing.
# All three come from the asset generator (scripts/make-assets).
foreach(size 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/assets/icon-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${SKINPREVIEW_APP_ID}.png)
endforeach()

# Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME skinpreview)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "skinpreview developers <developers@skinpreview.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "try out a skin in a mock-up of its application's main window")
set(CPACK_PACKAGE_DESCRIPTION
  "A small desktop tool for skin authors. A skin is a folder of BMP pictures
made for a separate desktop application; skinpreview shows a frameless
800 x 600 mock-up of that application's main window built from the skin's
pictures, with its menu and settings panels, and a Skin Selector in which
the author browses folders and applies a skin.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# What the binary links (the Debian 12 packages of Qt 6 Widgets, Gui and Core
# and of the C and C++ runtimes; deb_test checks that every library it needs
# comes from one of them) and the fonts: the layouts name Arial, which
# fontconfig maps to Liberation Sans. Listed here rather than worked out by
# dpkg-shlibdeps, so that packing needs neither dpkg-dev nor `file`.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libqt6widgets6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6core6 (>= 6.4), libstdc++6, libgcc-s1, libc6, fonts-liberation")
if(SKINPREVIEW_SANITIZE)
  # A sanitizer build (the tests pack one) also needs the sanitizer runtimes.
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libasan8, libubsan1")
endif()
include(CPack)
