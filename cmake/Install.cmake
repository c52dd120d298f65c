# Installing like a desktop program, and the Debian package (make package).
#
# <prefix>/bin             yanhe, yanhe-cli, yanhe-update
# <prefix>/share/yanhe     installed: tells the executables that they are installed
# <prefix>/share/applications/yanhe.desktop, icons/hicolor/*/apps/yanhe.{svg,png}
# <prefix>/share/man/man1/yanhe-cli.1.gz

include(GNUInstallDirs)

set(YANHE_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS yanhe-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(target yanhe yanhe-update)
  if(TARGET ${target})
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()

# An installed copy keeps its application folder in each user's data folder, also
# when root (who may write beside the executables) runs it; AppFolders looks for
# this file at ../share/yanhe/installed from the executable's folder.
install(FILES ${YANHE_PACKAGING}/installed DESTINATION ${CMAKE_INSTALL_DATADIR}/yanhe)

install(FILES ${YANHE_PACKAGING}/yanhe.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${YANHE_PACKAGING}/yanhe.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The icon as PNG for menus that do not draw SVG, rendered from the SVG.
find_program(RSVG_CONVERT_EXE rsvg-convert)
if(RSVG_CONVERT_EXE)
  set(icons)
  foreach(size 16 32 48 64 128 256)
    set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/yanhe.png)
    add_custom_command(
      OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
      COMMAND ${RSVG_CONVERT_EXE} -w ${size} -h ${size} -o ${png} ${YANHE_PACKAGING}/yanhe.svg
      DEPENDS ${YANHE_PACKAGING}/yanhe.svg
      COMMENT "Rendering the ${size}x${size} icon"
      VERBATIM)
    list(APPEND icons ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  add_custom_target(icons ALL DEPENDS ${icons})
else()
  message(WARNING "rsvg-convert (librsvg2-bin) was not found: the PNG icons are not installed")
endif()

# The man page, compressed as Debian keeps them.
configure_file(${YANHE_PACKAGING}/yanhe-cli.1 ${CMAKE_BINARY_DIR}/man/yanhe-cli.1 @ONLY)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/man/yanhe-cli.1.gz
  COMMAND gzip -9 -n -f -k ${CMAKE_BINARY_DIR}/man/yanhe-cli.1
  DEPENDS ${CMAKE_BINARY_DIR}/man/yanhe-cli.1
  VERBATIM)
add_custom_target(manpage ALL DEPENDS ${CMAKE_BINARY_DIR}/man/yanhe-cli.1.gz)
install(FILES ${CMAKE_BINARY_DIR}/man/yanhe-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The Debian package.
set(YANHE_PACKAGE_MAINTAINER "yanhe maintainers <maintainers@yanhe.invalid>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME yanhe)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${YANHE_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch tool for office documents (砚禾办公助手)")
# Debian wants the long description in lines of at most 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
    "Pick a folder, collect files by extension into a check-box list, tick rows\n"
    "and run one job over them: replace texts in Word documents (body, text\n"
    "boxes, headers and footers), write headers, footers and page numbers,\n"
    "replace texts in every worksheet of workbooks, rename or delete files.\n"
    "\n"
    "Documents are changed by LibreOffice itself, driven over UNO on a profile\n"
    "of the tool's own. Every job reports each file in a log box and an hourly\n"
    "journal. yanhe-cli runs the same jobs from a shell.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${YANHE_PACKAGE_MAINTAINER}")
# The libraries come from the binaries; the office program the tool drives is
# started, not linked, so it is named here; Qt's Chinese texts are loaded, not linked.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libreoffice-writer, libreoffice-calc, libreoffice-core, qt6-translations-l10n")
# The window and the documents' Chinese texts need a font with Chinese glyphs.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
