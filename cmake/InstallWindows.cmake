# What the Windows installer (cpack -G NSIS, made by tools/windows-package.sh)
# puts under Program Files\Tandrel: the same tree as the Linux install, the
# programs in bin\ (the folder the installer can put on the PATH) and the
# files the window program opens in share\tandrel\, where it finds them
# relative to itself; the settings then go to the user's data folder. Qt is
# linked in statically: its licence texts and a notice on how to relink the
# program with another Qt go along in licenses\.
set(TANDREL_SHARED_DIR share/tandrel)

install(TARGETS tandrel-cli RUNTIME DESTINATION bin)
if(TARGET tandrel)
  install(TARGETS tandrel RUNTIME DESTINATION bin)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/skin.qss DESTINATION ${TANDREL_SHARED_DIR})
  install(DIRECTORY ${TANDREL_HELP_DIR} DESTINATION ${TANDREL_SHARED_DIR})
  # The companion scheduler's own installer puts Larkrun.exe here.
  install(DIRECTORY DESTINATION ${TANDREL_SHARED_DIR}/Daylark)

  find_package(Qt6 REQUIRED COMPONENTS Core)
  set(TANDREL_QT_VERSION ${Qt6_VERSION})
  # The Qt the program was linked with: the cross toolchain's, or the one
  # CMAKE_PREFIX_PATH led to (its lib/cmake/Qt6 three levels down).
  if(NOT TANDREL_WINDOWS_QT_DIR)
    get_filename_component(TANDREL_WINDOWS_QT_DIR "${Qt6_DIR}/../../.." ABSOLUTE)
  endif()
  # What the licences of Qt and of the code built into it ask to be passed
  # on, taken from the Qt folder as the package is made: the licence texts
  # (not the blank BSD and MIT templates: the filled-in notices are in
  # source/third-party), the source's checksums, the patch, the build script
  # and the third-party notices.
  set(TANDREL_QT_SOURCE ${TANDREL_WINDOWS_QT_DIR}/source)
  foreach(required SHA256SUMS build-qt-mingw.sh qtbase-${TANDREL_QT_VERSION}-mingw.patch third-party/wintab/LGPL-2.1.txt)
    if(NOT EXISTS ${TANDREL_QT_SOURCE}/${required})
      message(FATAL_ERROR "The Qt for Windows lacks source/${required}, which the installer must ship")
    endif()
  endforeach()
  file(GLOB TANDREL_THIRD_PARTY LIST_DIRECTORIES true ${TANDREL_QT_SOURCE}/third-party/*)
  set(TANDREL_THIRD_PARTY_LIST "")
  foreach(dir IN LISTS TANDREL_THIRD_PARTY)
    get_filename_component(component ${dir} NAME)
    set(line "    ${component}")
    if(EXISTS ${dir}/qt_attribution.json)
      file(READ ${dir}/qt_attribution.json attribution)
      string(REGEX MATCH "\"Name\": \"([^\"]*)\"" found "${attribution}")
      set(line "${line}: ${CMAKE_MATCH_1}")
    endif()
    string(APPEND TANDREL_THIRD_PARTY_LIST "${line}\n")
  endforeach()
  string(STRIP "${TANDREL_THIRD_PARTY_LIST}" TANDREL_THIRD_PARTY_LIST)
  string(PREPEND TANDREL_THIRD_PARTY_LIST "    ")
  set(TANDREL_NOTICE ${PROJECT_BINARY_DIR}/installer/NOTICE.txt)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/NOTICE.txt.in ${TANDREL_NOTICE} @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${TANDREL_NOTICE} DESTINATION licenses)
  file(GLOB TANDREL_QT_LICENSES ${TANDREL_WINDOWS_QT_DIR}/LICENSES/*GPL*.txt)
  install(FILES ${TANDREL_QT_LICENSES} DESTINATION licenses/Qt)
  if(EXISTS ${TANDREL_WINDOWS_QT_DIR}/README.md)
    install(FILES ${TANDREL_WINDOWS_QT_DIR}/README.md DESTINATION licenses/Qt RENAME How-Qt-was-built.txt)
  endif()
  install(DIRECTORY ${TANDREL_QT_SOURCE}/ DESTINATION licenses/Qt/source)
  set(CPACK_RESOURCE_FILE_LICENSE ${TANDREL_NOTICE})
endif()

# What tools/windows-package.sh needs to know of this build, as shell values.
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/installer/build.env CONTENT
  "version='@PROJECT_VERSION@'\nqt='@TANDREL_WINDOWS_QT_DIR@'\nqt_version='@TANDREL_QT_VERSION@'\n" @ONLY)

# The name every page of the installer shows.
set(CPACK_PACKAGE_NAME Tandrel)
set(CPACK_PACKAGE_VENDOR "Orvessa Software")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "compare two folder trees and bring them into line")
set(CPACK_PACKAGE_FILE_NAME tandrel-${PROJECT_VERSION}-win64-setup)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Tandrel)
# The installer's own key, beside the program's per-user key
# Software\Orvessa Software\Tandrel, which uninstalling must leave alone.
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Tandrel Setup")
set(CPACK_PACKAGE_EXECUTABLES tandrel Tandrel)
# The options page's "Create Tandrel Desktop Icon" (or /DESKTOP when silent).
set(CPACK_CREATE_DESKTOP_LINKS tandrel)
set(CPACK_NSIS_MUI_FINISHPAGE_RUN tandrel.exe)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR NSIS)
set(CPACK_NSIS_EXECUTABLE makensis)
# A 64-bit installer: it runs where only 64-bit programs do, and writes the
# registry and Program Files as 64-bit Windows sees them.
set(CPACK_NSIS_DEFINES "Target amd64-unicode\n!define MUI_HEADERIMAGE_RIGHT")
set(CPACK_NSIS_PACKAGE_NAME Tandrel)
set(CPACK_NSIS_DISPLAY_NAME Tandrel)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/resources/tandrel.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/resources/tandrel.ico)
# The pictures of the welcome and finish pages and of the other pages'
# header, drawn from the program's icon by tools/make-icons.sh, at twice the
# size the pages have at 100 %, so that they stay sharp at 200 %.
set(CPACK_NSIS_MUI_WELCOMEFINISHPAGE_BITMAP ${PROJECT_SOURCE_DIR}/packaging/windows/installer-side.bmp)
set(CPACK_NSIS_MUI_UNWELCOMEFINISHPAGE_BITMAP ${PROJECT_SOURCE_DIR}/packaging/windows/installer-side.bmp)
set(CPACK_NSIS_MUI_HEADERIMAGE ${PROJECT_SOURCE_DIR}/packaging/windows/installer-header.bmp)
set(CPACK_NSIS_INSTALLED_ICON_NAME "bin\\tandrel.exe")
set(CPACK_NSIS_CONTACT "Orvessa Software")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
# The options page offers bin\ on the PATH (for tandrel-cli); a silent
# install (/S) takes the same choice as /PATH=user or /PATH=all.
set(CPACK_NSIS_MODIFY_PATH ON)
# The installer's own steps after the files: the PATH and desktop choices of
# a silent install, and the Explorer entry for folders.
file(READ ${PROJECT_SOURCE_DIR}/packaging/windows/install-extra.nsh TANDREL_INSTALL_EXTRA)
string(CONFIGURE "${TANDREL_INSTALL_EXTRA}" CPACK_NSIS_EXTRA_INSTALL_COMMANDS @ONLY)
# What the uninstaller takes away beyond the installed files: the Explorer
# entry, the user's PATH value when the installer made it, and nothing of
# the installer's under Software\Orvessa Software (its own key goes first,
# so that the vendor's key is empty unless something else of the vendor's
# is kept there).
file(READ ${PROJECT_SOURCE_DIR}/packaging/windows/uninstall-extra.nsh TANDREL_UNINSTALL_EXTRA)
string(CONFIGURE "${TANDREL_UNINSTALL_EXTRA}" CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS @ONLY)
# The values go to the NSIS script as written here.
set(CPACK_VERBATIM_VARIABLES ON)
include(CPack)
