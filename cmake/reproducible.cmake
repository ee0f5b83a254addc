# Two builds of one commit, in any folders, at any times and by any user, give
# the same bytes: no build paths in the objects, no owners in the packages, and
# the one date a package must carry (its entries' times) is SOURCE_DATE_EPOCH:
# taken from the environment when set, else the commit's own time, else a
# fixed day.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(corvaldo_source_date_epoch "$ENV{SOURCE_DATE_EPOCH}")
else()
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
      OUTPUT_VARIABLE corvaldo_source_date_epoch OUTPUT_STRIP_TRAILING_WHITESPACE
      ERROR_QUIET RESULT_VARIABLE corvaldo_git_result)
    if(NOT corvaldo_git_result EQUAL 0)
      set(corvaldo_source_date_epoch "")
    endif()
  endif()
  if(NOT corvaldo_source_date_epoch MATCHES "^[0-9]+$")
    set(corvaldo_source_date_epoch 315532800)  # 1980-01-01, the first day a ZIP can hold
  endif()
endif()
set(CORVALDO_SOURCE_DATE_EPOCH "${corvaldo_source_date_epoch}" CACHE STRING
    "The time written into packages (seconds since 1970)" FORCE)

# cpack reads SOURCE_DATE_EPOCH from its environment for every time it writes.
set(corvaldo_cpack_config ${CMAKE_BINARY_DIR}/corvaldo_cpack_config.cmake)
file(WRITE ${corvaldo_cpack_config}
  "if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})\n"
  "  set(ENV{SOURCE_DATE_EPOCH} \"${CORVALDO_SOURCE_DATE_EPOCH}\")\n"
  "endif()\n")
set(CPACK_PROJECT_CONFIG_FILE ${corvaldo_cpack_config})

# Archivers write the packing user's ids and more; every package is rewritten
# with root as owner and SOURCE_DATE_EPOCH as the only time.
find_package(Python3 QUIET COMPONENTS Interpreter)
set(CPACK_CORVALDO_PYTHON "${Python3_EXECUTABLE}")
set(CPACK_CORVALDO_NORMALIZER ${CMAKE_CURRENT_LIST_DIR}/../packaging/normalize_archive.py)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/normalize_archives.cmake)

# Release objects name their sources relative to the tree, not to where it lies.
add_compile_options($<$<CONFIG:Release>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=>
                    $<$<CONFIG:Release>:-ffile-prefix-map=${CMAKE_BINARY_DIR}/=>)
