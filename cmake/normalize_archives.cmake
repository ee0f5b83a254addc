# Run by cpack after it has made the packages (CPACK_POST_BUILD_SCRIPTS): each
# archive rewritten so that its bytes do not depend on who packed it.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT CPACK_CORVALDO_PYTHON)
    message(WARNING "No Python: ${package} keeps the packing user's ids")
    break()
  endif()
  execute_process(
    COMMAND ${CPACK_CORVALDO_PYTHON} ${CPACK_CORVALDO_NORMALIZER} ${package} $ENV{SOURCE_DATE_EPOCH}
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "Could not normalise ${package}")
  endif()
endforeach()
