# Run by CPack on its staging tree before packing: takes the .comment and
# .note sections (the compilers' version strings) out of every program, as
# Debian's own packaging does.
file(GLOB_RECURSE programs "${CPACK_TEMPORARY_DIRECTORY}/*/bin/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND ${CPACK_SKINPREVIEW_STRIP} --remove-section=.comment --remove-section=.note ${program}
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
