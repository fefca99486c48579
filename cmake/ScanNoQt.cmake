# Build-time half of the no-Qt check of the core (see CheckNoQt.cmake).
file(GLOB_RECURSE files
  ${DIR}/engine/*.h ${DIR}/engine/*.cpp ${DIR}/sync/*.h ${DIR}/sync/*.cpp
  ${DIR}/settings/*.h ${DIR}/settings/*.cpp ${DIR}/report/*.h ${DIR}/report/*.cpp
  ${DIR}/platform/*.h ${DIR}/platform/*.cpp)
foreach(f IN LISTS files)
  file(STRINGS ${f} hits REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]Q[A-Za-z]+")
  if(hits)
    message(FATAL_ERROR "${f} includes Qt in the Qt-free core: ${hits}")
  endif()
endforeach()
