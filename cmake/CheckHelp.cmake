# The help of each system describes that system: builds the pages of SRC for
# Linux and for Windows into WORK (as BuildHelp.cmake does for the program)
# and fails when a page speaks of the other system.
# cmake -DSRC=resources/help -DWORK=scratch -P CheckHelp.cmake
cmake_minimum_required(VERSION 3.25)
set(words_linux "%LOCALAPPDATA%" "%APPDATA%" "%USERPROFILE%" "HKEY_" "registry" "Recycle Bin" "C:\\"
                "Larkrun.exe" "Explorer" "junction" "Windows")
set(words_windows "~/" "/home/" "/media/" ".local/share" ".config" "XDG" "X11" "Wayland" "window manager"
                  "pipes, sockets" "the trash" "your trash" "write permission" "never set on this"
                  "Daylark/Larkrun" "the name begins with a dot" "unless hidden files")
set(failures "")
foreach(system linux windows)
  execute_process(COMMAND ${CMAKE_COMMAND} -DSRC=${SRC} -DDST=${WORK}/${system} -DSYSTEM=${system}
                          -P ${CMAKE_CURRENT_LIST_DIR}/BuildHelp.cmake RESULT_VARIABLE built)
  if(NOT built EQUAL 0)
    message(FATAL_ERROR "the ${system} help could not be built")
  endif()
  file(GLOB pages ${WORK}/${system}/*.html)
  list(LENGTH pages count)
  if(count LESS 10)
    list(APPEND failures "${system}: only ${count} pages")
  endif()
  foreach(page IN LISTS pages)
    file(READ ${page} text)
    get_filename_component(name ${page} NAME)
    foreach(word IN LISTS words_${system} ITEMS "<!--linux" "<!--/linux" "<!--windows" "<!--/windows")
      string(FIND "${text}" "${word}" at)
      if(NOT at EQUAL -1)
        list(APPEND failures "${system} help, ${name}: '${word}'")
      endif()
    endforeach()
  endforeach()
endforeach()
if(failures)
  list(JOIN failures "\n  " shown)
  message(FATAL_ERROR "help pages that speak of the other system:\n  ${shown}")
endif()
message(STATUS "the Linux and the Windows help each describe their own system")
