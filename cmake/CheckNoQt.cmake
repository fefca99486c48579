# Fails the build when a target links a Qt library, directly or through its
# public dependencies, or when one of its sources includes a Qt header.
function(tandrel_check_no_qt target)
  get_target_property(libs ${target} LINK_LIBRARIES)
  get_target_property(ilibs ${target} INTERFACE_LINK_LIBRARIES)
  foreach(lib IN LISTS libs ilibs)
    if(lib MATCHES "Qt[0-9]*::|Qt[0-9]*(Core|Gui|Widgets)")
      message(FATAL_ERROR "${target} must not link Qt, but links ${lib}")
    endif()
  endforeach()
  get_target_property(srcs ${target} SOURCES)
  get_target_property(dir ${target} SOURCE_DIR)
  file(GLOB_RECURSE headers CONFIGURE_DEPENDS
    ${dir}/engine/*.h ${dir}/sync/*.h ${dir}/settings/*.h ${dir}/report/*.h ${dir}/platform/*.h)
  foreach(src IN LISTS srcs headers)
    if(NOT IS_ABSOLUTE ${src})
      set(src ${dir}/${src})
    endif()
    file(STRINGS ${src} hits REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]Q[A-Za-z]+")
    if(hits)
      message(FATAL_ERROR "${src} includes Qt in the Qt-free core: ${hits}")
    endif()
  endforeach()
  # Checked again at build time so that an edit after configuring is caught too.
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DDIR=${dir} -P ${PROJECT_SOURCE_DIR}/cmake/ScanNoQt.cmake
    VERBATIM)
endfunction()
