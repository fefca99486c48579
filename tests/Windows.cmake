# The core and command-line tests of the Windows build. GoogleTest comes from
# its Debian source package, built with the cross compiler. The settings,
# scanner and copy suites run here on the Windows form of the test tree
# (support/windows/TempTree.cpp); their tests of POSIX behaviour (modes,
# FIFOs, links made with symlink(2), forked children) are inside #ifndef
# _WIN32, each with its reason, and the case-folding scan on an exFAT mount is
# Linux's only. tests/windows holds what only Windows has.
set(TANDREL_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build with the cross compiler")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${TANDREL_GOOGLETEST_SOURCE} ${CMAKE_CURRENT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

set(TANDREL_WINDOWS_TEST_SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/engine/PathRulesTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/engine/ResultStoreTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/CaseFoldTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/remote/SideAddressTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/remote/SftpPacketTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/remote/SshProcessTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/report/ReportReadBackTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/settings/SettingsTextTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/settings/SettingsFileTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/engine/ScanCancelTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/engine/ScanFilterTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/engine/ScanHostileInputTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/engine/ScanReadAheadTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/engine/ScannerTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/engine/TimeComparisonTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/engine/ContentCheckTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/engine/FolderExistsTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/sync/CopyCheckedRowsTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/sync/DeleteCheckedRowsTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/sync/RowsInFlightTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/sync/RowScheduleTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/OrderedWorkersTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/cli/cli_command_line_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/cli/cli_status_text_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/cli/cli_settings_code_page_test.cpp)
set(TANDREL_WINDOWS_ONLY_TEST_SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/windows/AtomicFileWindowsTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/windows/CliConsoleWindowsTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/windows/ContentCheckWindowsTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/windows/FolderListingWindowsTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/windows/NativePathRulesTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/windows/NetworkTargetWindowsTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/windows/ScanWindowsTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/windows/SettingsFileWindowsTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/windows/SyncWindowsTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/windows/TextFileWindowsTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/windows/WideTextTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/windows/WindowsFilesTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/windows/WritableFolderWindowsTest.cpp)

add_executable(tandrel_core_tests ${TANDREL_WINDOWS_TEST_SOURCES} ${TANDREL_WINDOWS_ONLY_TEST_SOURCES}
  ${CMAKE_CURRENT_SOURCE_DIR}/support/windows/TempTree.cpp)
target_include_directories(tandrel_core_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tandrel_core_tests PRIVATE tandrel_core tandrel_cli GTest::gtest GTest::gtest_main)
target_compile_options(tandrel_core_tests PRIVATE ${TANDREL_WARNINGS})
target_compile_definitions(tandrel_core_tests PRIVATE TANDREL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
# Two ctest entries, not one per test: listing the tests at build time would
# start Wine once more for every build. The copy and delete suites, the
# slowest under Wine, are the second, so that each stays well inside its time
# limit. Each test's start is printed, so that a run that times out shows
# which test hung.
set(TANDREL_WINDOWS_SYNC_FILTER "CopyCheckedRows*:DeleteCheckedRows*:RowsInFlight*")
add_test(NAME tandrel_core_tests COMMAND tandrel_core_tests --gtest_filter=-${TANDREL_WINDOWS_SYNC_FILTER})
add_test(NAME tandrel_core_sync_tests COMMAND tandrel_core_tests --gtest_filter=${TANDREL_WINDOWS_SYNC_FILTER})
set_tests_properties(tandrel_core_tests tandrel_core_sync_tests PROPERTIES TIMEOUT 300 LABELS core)

# Sounds, windows and the taskbar button as Windows gives them.
add_executable(tandrel_desktop_tests ${CMAKE_CURRENT_SOURCE_DIR}/desktop/windows/DesktopServicesWindowsTest.cpp)
target_include_directories(tandrel_desktop_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tandrel_desktop_tests PRIVATE tandrel_desktop tandrel_core GTest::gtest GTest::gtest_main)
target_compile_options(tandrel_desktop_tests PRIVATE ${TANDREL_WARNINGS})
add_test(NAME tandrel_desktop_tests COMMAND tandrel_desktop_tests)
set_tests_properties(tandrel_desktop_tests PROPERTIES TIMEOUT 300 LABELS desktop)

# The window tests, where the window program is built: the same tests as on
# Linux but those of the desktop services of Linux (D-Bus, X11, sound
# libraries), whose Windows forms are tested in tests/windows. Qt is static:
# the offscreen platform is linked in and named on the command line, since
# Wine does not hand QT_QPA_PLATFORM on.
if(TARGET tandrel_gui)
  find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets Test)
  file(GLOB TANDREL_WINDOWS_GUI_TEST_SOURCES CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/gui/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/gui/*.h
    ${CMAKE_CURRENT_SOURCE_DIR}/gui/windows/*.cpp)
  # The loopback sshd that ssh asks the askpass mode against, and that the
  # window's remote comparisons reach, runs on Linux.
  list(REMOVE_ITEM TANDREL_WINDOWS_GUI_TEST_SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/gui/AskpassSshTest.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/gui/RemoteComparisonTest.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/gui/DesktopServicesTest.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/gui/TaskbarProgressTest.cpp)
  set(CMAKE_AUTOMOC ON)
  add_executable(tandrel_gui_tests ${TANDREL_WINDOWS_GUI_TEST_SOURCES}
    ${CMAKE_CURRENT_SOURCE_DIR}/support/windows/TempTree.cpp)
  target_include_directories(tandrel_gui_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(tandrel_gui_tests PRIVATE tandrel_gui Qt6::Test GTest::gtest)
  target_compile_options(tandrel_gui_tests PRIVATE ${TANDREL_WARNINGS})
  target_compile_definitions(tandrel_gui_tests PRIVATE TANDREL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  # A program that notes the show state it was started with, for the companion's start.
  add_executable(show_state_probe ${CMAKE_CURRENT_SOURCE_DIR}/windows/helpers/ShowStateProbe.cpp)
  target_compile_options(show_state_probe PRIVATE ${TANDREL_WARNINGS})
  add_dependencies(tandrel_gui_tests show_state_probe)
  target_compile_definitions(tandrel_gui_tests PRIVATE TANDREL_SHOW_STATE_PROBE="$<TARGET_FILE:show_state_probe>")
  qt_import_plugins(tandrel_gui_tests INCLUDE Qt6::QOffscreenIntegrationPlugin)
  add_test(NAME tandrel_gui_tests COMMAND tandrel_gui_tests -platform offscreen)
  set_tests_properties(tandrel_gui_tests PROPERTIES TIMEOUT 600 LABELS gui)
endif()
