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

file(CONFIGURE OUTPUT ${corvaldo_generated_dir}/corvaldo_version.h CONTENT [[
#pragma once
#define CORVALDO_VERSION_MAJOR @PROJECT_VERSION_MAJOR@
#define CORVALDO_VERSION_MINOR @PROJECT_VERSION_MINOR@
#define CORVALDO_VERSION_PATCH @PROJECT_VERSION_PATCH@
#define CORVALDO_VERSION_STRING "@PROJECT_VERSION@"
]] @ONLY)

set(corvaldo_rc ${corvaldo_resource_dir}/script-corvaldo.rc)
target_sources(script-corvaldo PRIVATE ${corvaldo_rc})
set_source_files_properties(${corvaldo_rc} PROPERTIES
  INCLUDE_DIRECTORIES "${corvaldo_resource_dir};${corvaldo_generated_dir}"
  OBJECT_DEPENDS "${corvaldo_pictures};${corvaldo_resource_dir}/script-corvaldo.manifest;${corvaldo_resource_dir}/resource_ids.h;${corvaldo_generated_dir}/corvaldo_version.h"
)
add_dependencies(script-corvaldo corvaldo_pictures)

target_link_options(script-corvaldo PRIVATE
  # No libstdc++, libgcc or winpthread DLLs beside the exe.
  -static -static-libgcc -static-libstdc++
  # A GUI program: no console window; main() stays the entry point.
  -mwindows
  # ASLR and DEP.
  -Wl,--dynamicbase,--nxcompat
  $<$<STREQUAL:${CMAKE_SIZEOF_VOID_P},8>:-Wl,--high-entropy-va>
  $<$<CONFIG:Release,MinSizeRel>:-s>
)
