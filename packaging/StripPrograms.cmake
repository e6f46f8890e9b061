# Run by CPack on its staging folder before it makes the package: strips the
# programs as Debian's own packages are stripped (dh_strip), without the
# symbols, the compiler's .comment and the .note section.
file(GLOB programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*")
if(NOT programs)
  message(FATAL_ERROR "StripPrograms: no programs in ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin")
endif()
foreach(program IN LISTS programs)
  execute_process(COMMAND strip --remove-section=.comment --remove-section=.note
    --strip-unneeded "${program}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "StripPrograms: strip failed on ${program}")
  endif()
endforeach()
