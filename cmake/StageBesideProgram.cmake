# Copies the files that the program opens from its own folder (the skin style
# sheet and the help pages) next to the built executable.
if(EXISTS ${SRC}/skin.qss)
  file(COPY ${SRC}/skin.qss DESTINATION ${DST})
endif()
if(IS_DIRECTORY ${SRC}/help)
  file(COPY ${SRC}/help DESTINATION ${DST})
endif()
