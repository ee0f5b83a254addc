# The Windows executable: one self-contained, static GUI exe with its
# resources (icon, pictures, manifest, version information) linked in.
enable_language(RC)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(corvaldo_resource_dir ${CMAKE_CURRENT_SOURCE_DIR}/src/ui/resources)
set(corvaldo_generated_dir ${CMAKE_CURRENT_BINARY_DIR}/resources)

# The pictures are drawn from the script on every build tree, never stored.
set(corvaldo_pictures
  ${corvaldo_generated_dir}/image3_background.bmp
  ${corvaldo_generated_dir}/glyph_sim.bmp
  ${corvaldo_generated_dir}/glyph_nao.bmp
  ${corvaldo_generated_dir}/glyph_continuar.bmp
  ${corvaldo_generated_dir}/glyph_cancelar.bmp
  ${corvaldo_generated_dir}/script-corvaldo.ico
)
add_custom_command(
  OUTPUT ${corvaldo_pictures}
  COMMAND Python3::Interpreter ${corvaldo_resource_dir}/draw_bitmaps.py ${corvaldo_generated_dir}
  DEPENDS ${corvaldo_resource_dir}/draw_bitmaps.py
  COMMENT "Drawing the icon and the dialog's pictures"
  VERBATIM
)
add_custom_target(corvaldo_pictures DEPENDS ${corvaldo_pictures})

set(corvaldo_rc ${corvaldo_resource_dir}/script-corvaldo.rc)
target_sources(script-corvaldo PRIVATE ${corvaldo_rc})
set_source_files_properties(${corvaldo_rc} PROPERTIES
  INCLUDE_DIRECTORIES "${corvaldo_resource_dir};${corvaldo_generated_dir};${CORVALDO_GENERATED_DIR}"
  OBJECT_DEPENDS "${corvaldo_pictures};${corvaldo_resource_dir}/script-corvaldo.manifest;${corvaldo_resource_dir}/resource_ids.h;${CORVALDO_GENERATED_DIR}/corvaldo_version.h"
)
add_dependencies(script-corvaldo corvaldo_pictures)

target_link_options(script-corvaldo PRIVATE
  # No libstdc++, libgcc or winpthread DLLs beside the exe.
  -static -static-libgcc -static-libstdc++
  # A GUI program: no console window; main() stays the entry point.
  -mwindows
  # ASLR and DEP.
  -Wl,--dynamicbase,--nxcompat
  # No link time in the header: two builds of one commit are the same bytes.
  -Wl,--no-insert-timestamp
  $<$<STREQUAL:${CMAKE_SIZEOF_VOID_P},8>:-Wl,--high-entropy-va>
  $<$<CONFIG:Release,MinSizeRel>:-s>
)

# The release package: the exe and its bilingual read-me in one ZIP
# (cpack from the build folder).
install(TARGETS script-corvaldo RUNTIME DESTINATION .)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/packaging/README.txt DESTINATION .)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(corvaldo_package_arch win64)
else()
  set(corvaldo_package_arch win32)
endif()
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME script-corvaldo)
set(CPACK_PACKAGE_VENDOR "Script Corvaldo")
set(CPACK_PACKAGE_FILE_NAME "script-corvaldo-${PROJECT_VERSION}-${corvaldo_package_arch}")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)

# Helpers for the runs under Wine: the dialog on its own, a process that
# holds a game file open, and one that holds Wine's desktop. The tests run on
# the host with ctest.
option(CORVALDO_WINE_TESTS "Build the Wine test helpers and register the Wine tests" OFF)
if(CORVALDO_WINE_TESTS)
  add_executable(dialog_demo tests/wine/dialog_demo.cpp ${corvaldo_rc})
  target_link_libraries(dialog_demo PRIVATE corvaldo_platform corvaldo_warnings)
  add_dependencies(dialog_demo corvaldo_pictures)
  target_link_options(dialog_demo PRIVATE -static -static-libgcc -static-libstdc++ -mwindows)

  add_executable(keep_desktop tests/wine/keep_desktop.cpp)
  target_link_libraries(keep_desktop PRIVATE corvaldo_warnings)
  target_link_options(keep_desktop PRIVATE -static -static-libgcc -static-libstdc++ -mwindows)
  # The Wine tests find it beside dialog_demo.
  add_dependencies(dialog_demo keep_desktop)

  add_executable(hold_file tests/wine/hold_file.cpp)
  target_link_libraries(hold_file PRIVATE corvaldo_platform corvaldo_warnings)
  target_link_options(hold_file PRIVATE -static -static-libgcc -static-libstdc++)

  set(CORVALDO_NATIVE_EXE "${CMAKE_SOURCE_DIR}/build/native/script-corvaldo" CACHE FILEPATH
      "The Linux build whose results the Wine runs must match")
  enable_testing()
  # The exe's architecture picks the Wine loader and the kind of prefix; the
  # 32-bit exe also runs in a 64-bit prefix, as on 64-bit Windows. On a busy
  # 2-core machine an i686 group under qemu took up to 35 minutes.
  set(corvaldo_wine_groups patch messages dialog sharing restore parallel)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    list(APPEND corvaldo_wine_groups wow64)
  endif()
  foreach(group ${corvaldo_wine_groups})
    set(test wine_${group}_${corvaldo_package_arch})
    add_test(NAME ${test}
      COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/wine/wine_exe_test.sh ${group}
        $<TARGET_FILE:script-corvaldo> ${CORVALDO_NATIVE_EXE} $<TARGET_FILE:dialog_demo>
        $<TARGET_FILE:hold_file> ${CMAKE_CURRENT_BINARY_DIR}/wine-screenshots)
    set_tests_properties(${test} PROPERTIES LABELS "wine;${corvaldo_package_arch}"
      SKIP_RETURN_CODE 77 TIMEOUT 3600)
  endforeach()
endif()
