# What `cmake --install` lays out under the prefix, and the Debian package
# that `cpack -G DEB` builds from it. The programs go to bin; the files the
# program opens (skin, help pages, the companion's folder) to share/tandrel,
# where it finds them relative to its executable; the desktop entry, icons,
# AppStream metadata, manual pages and shell completion go where the desktop
# and the shell look for them.
include(GNUInstallDirs)

# The desktop entry id lives in the program's source, which names the entry
# in its taskbar progress; everything installed here takes it from there.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/desktop/DesktopId.h)
file(STRINGS ${PROJECT_SOURCE_DIR}/src/desktop/DesktopId.h TANDREL_ID_LINE REGEX "kDesktopId\\[\\] = ")
string(REGEX MATCH "\"([^\"]+)\"" TANDREL_ID_MATCH "${TANDREL_ID_LINE}")
set(TANDREL_APP_ID ${CMAKE_MATCH_1})
if(NOT TANDREL_APP_ID)
  message(FATAL_ERROR "No desktop entry id (kDesktopId) found in src/desktop/DesktopId.h")
endif()

set(TANDREL_SCREENSHOT_URL "" CACHE STRING
  "Web address of docs/main-window.png as published; the AppStream metadata shows it as the screenshot")
# The release date of the AppStream metadata: the build's date, or
# SOURCE_DATE_EPOCH when set, so that a package can be rebuilt identically.
string(TIMESTAMP TANDREL_RELEASE_DATE "%Y-%m-%d" UTC)

set(TANDREL_SHARED_DIR ${CMAKE_INSTALL_DATADIR}/tandrel)
set(TANDREL_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(TANDREL_INSTALL_STAGE ${PROJECT_BINARY_DIR}/install-stage)

install(TARGETS tandrel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${TANDREL_PACKAGING_DIR}/tandrel-cli.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tandrel-cli)
install(FILES ${TANDREL_PACKAGING_DIR}/tandrel-cli.zsh-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions RENAME _tandrel-cli)
install(FILES ${TANDREL_PACKAGING_DIR}/tandrel-cli.fish
        DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)

# Manual pages, compressed as Debian keeps them (gzip -n: no name, no time).
set(TANDREL_MAN_PAGES tandrel-cli)
if(NOT TANDREL_CORE_ONLY)
  list(APPEND TANDREL_MAN_PAGES tandrel)
endif()
set(TANDREL_MAN_OUTPUTS)
foreach(page IN LISTS TANDREL_MAN_PAGES)
  set(out ${TANDREL_INSTALL_STAGE}/man/${page}.1)
  add_custom_command(OUTPUT ${out}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/man/${page}.1 ${out}
    COMMAND gzip -9 -n -f ${out}
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/${page}.1
    VERBATIM)
  list(APPEND TANDREL_MAN_OUTPUTS ${out}.gz)
  install(FILES ${out}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

if(NOT TANDREL_CORE_ONLY)
  install(TARGETS tandrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/resources/skin.qss DESTINATION ${TANDREL_SHARED_DIR})
  install(DIRECTORY ${TANDREL_HELP_DIR} DESTINATION ${TANDREL_SHARED_DIR})
  # The companion scheduler is a program of its own; its package puts
  # Larkrun into this folder.
  install(DIRECTORY DESTINATION ${TANDREL_SHARED_DIR}/Daylark)

  configure_file(${TANDREL_PACKAGING_DIR}/tandrel.desktop.in
                 ${TANDREL_INSTALL_STAGE}/${TANDREL_APP_ID}.desktop @ONLY)
  install(FILES ${TANDREL_INSTALL_STAGE}/${TANDREL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

  # "Compare with Tandrel" on one or two folders in the file managers that
  # read entries of their own: Dolphin's service menus and Nemo's actions.
  # Others offer the program for folders through the desktop entry's MimeType.
  configure_file(${TANDREL_PACKAGING_DIR}/tandrel-compare.servicemenu.desktop.in
                 ${TANDREL_INSTALL_STAGE}/servicemenu/${TANDREL_APP_ID}.compare.desktop @ONLY)
  install(PROGRAMS ${TANDREL_INSTALL_STAGE}/servicemenu/${TANDREL_APP_ID}.compare.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/kio/servicemenus)
  configure_file(${TANDREL_PACKAGING_DIR}/tandrel-compare.nemo_action.in
                 ${TANDREL_INSTALL_STAGE}/${TANDREL_APP_ID}.compare.nemo_action @ONLY)
  install(FILES ${TANDREL_INSTALL_STAGE}/${TANDREL_APP_ID}.compare.nemo_action
          DESTINATION ${CMAKE_INSTALL_DATADIR}/nemo/actions)

  if(TANDREL_SCREENSHOT_URL)
    set(TANDREL_SCREENSHOTS
      "  <screenshots>\n    <screenshot type=\"default\">\n      <caption>The main window after a comparison</caption>\n      <image>${TANDREL_SCREENSHOT_URL}</image>\n    </screenshot>\n  </screenshots>\n")
  else()
    set(TANDREL_SCREENSHOTS "")
  endif()
  configure_file(${TANDREL_PACKAGING_DIR}/tandrel.metainfo.xml.in
                 ${TANDREL_INSTALL_STAGE}/${TANDREL_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${TANDREL_INSTALL_STAGE}/${TANDREL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

  # The program icon in the hicolor theme, drawn at every size from the same
  # drawing as the window icon rather than scaled from one picture.
  find_package(Qt6 REQUIRED COMPONENTS Gui)
  add_executable(make_icons ${PROJECT_SOURCE_DIR}/tools/make_icons/make_icons.cpp)
  target_link_libraries(make_icons PRIVATE Qt6::Gui)
  target_compile_options(make_icons PRIVATE ${TANDREL_WARNINGS})
  set(TANDREL_ICON_OUTPUTS)
  foreach(size 16 22 24 32 48 64 128 256)
    set(out ${TANDREL_INSTALL_STAGE}/icons/${size}x${size}/${TANDREL_APP_ID}.png)
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:make_icons> --program-icon ${size} ${out}
      DEPENDS make_icons
      VERBATIM)
    list(APPEND TANDREL_ICON_OUTPUTS ${out})
    install(FILES ${out} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
endif()

add_custom_target(tandrel_install_files ALL DEPENDS ${TANDREL_MAN_OUTPUTS} ${TANDREL_ICON_OUTPUTS})

# cpack -G DEB
set(CPACK_PACKAGE_NAME tandrel)
set(CPACK_PACKAGE_VENDOR "Orvessa Software")
set(CPACK_PACKAGE_CONTACT "Orvessa Software")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "compare two folder trees and bring them into line")
set(CPACK_PACKAGE_DESCRIPTION
  "Tandrel compares two folder trees, a source and a destination, and sorts every difference into five lists: newer, older, missing in the destination, missing in the source, and only the size changed. The rows you check are copied either way or deleted; the lists can be exported as a report. tandrel-cli does the same from the command line.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Help pages open in the desktop's web browser through xdg-open; on a Wayland
# desktop the window is native with qt6-wayland (without it, through XWayland).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, qt6-wayland")
include(CPack)
