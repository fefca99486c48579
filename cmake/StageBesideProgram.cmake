# Copies the files that the program opens from its own folder (the skin style
# sheet from SRC and this system's help pages from HELP) next to the built
# executable.
if(EXISTS ${SRC}/skin.qss)
  file(COPY ${SRC}/skin.qss DESTINATION ${DST})
endif()
if(IS_DIRECTORY ${HELP})
  file(REMOVE_RECURSE ${DST}/help)
  file(COPY ${HELP} DESTINATION ${DST})
endif()
