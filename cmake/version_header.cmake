# The project version as a C header, for the Windows exe's version resource and
# the Linux build's --version.
set(CORVALDO_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
file(CONFIGURE OUTPUT ${CORVALDO_GENERATED_DIR}/corvaldo_version.h CONTENT [[
#pragma once
#define CORVALDO_VERSION_MAJOR @PROJECT_VERSION_MAJOR@
#define CORVALDO_VERSION_MINOR @PROJECT_VERSION_MINOR@
#define CORVALDO_VERSION_PATCH @PROJECT_VERSION_PATCH@
#define CORVALDO_VERSION_STRING "@PROJECT_VERSION@"
]] @ONLY)
