# Install rules and packaging.
#
# Installs the program as a desktop application: the binary, a desktop entry,
# the icon in three sizes and AppStream metadata, all named after one
# application ID, with the manual pages, the licence and the release notes.
# CPack turns the same install tree into a .deb (scripts/package).
include(GNUInstallDirs)

set(SKINPREVIEW_APP_ID org.skinpreview.SkinPreview)
set(SKINPREVIEW_MAINTAINER "skinpreview developers <developers@skinpreview.org>")
include(${CMAKE_CURRENT_LIST_DIR}/docs.cmake)

install(TARGETS skinpreview RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The command-line companion: checks skins and draws them (its manual page
# comes from docs/man/skintool.1.scd).
install(TARGETS skintool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${PROJECT_SOURCE_DIR}/packaging/${SKINPREVIEW_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${SKINPREVIEW_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The 64 x 64 icon is the window icon's drawing (assets/icon.bmp) with
# transparent corners; the larger ones are renderings of the same drawing.
# All three come from the asset generator (scripts/make-assets).
foreach(size 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/assets/icon-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${SKINPREVIEW_APP_ID}.png)
endforeach()

install(FILES ${SKINPREVIEW_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# Debian's places for the licence (machine-readable, with the full text) and
# the release notes.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${SKINPREVIEW_CHANGELOG}
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The guide for skin authors, with the figures it shows.
install(FILES ${PROJECT_SOURCE_DIR}/docs/making-a-skin.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/figures DESTINATION ${CMAKE_INSTALL_DOCDIR}
        FILES_MATCHING PATTERN "*.png")

# Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME skinpreview)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${SKINPREVIEW_MAINTAINER})
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
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://skinpreview.org)
# dpkg-shlibdeps works out the libraries' packages from the binaries (a
# sanitizer build thus also gets the sanitizer runtimes). Two are named by
# hand, as no binary links them: the fonts, used by name (the layouts name
# Arial, which fontconfig maps to Liberation Sans), and libarchive, loaded
# when an archive is first opened (src/files/archivelibrary.cpp).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
find_package(LibArchive REQUIRED)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation, libarchive13 (>= ${LibArchive_VERSION})")
# Debian strips one more thing than strip(1) does by default: the compilers'
# version notes.
set(CPACK_SKINPREVIEW_STRIP ${CMAKE_STRIP})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/strip-notes.cmake)
include(CPack)
