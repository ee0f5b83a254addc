// Identifiers of the resources linked into script-corvaldo.exe, shared by the
// resource script and the windows that load them.
#pragma once

#define IDI_SCRIPT_CORVALDO 1
#define IDB_IMAGE3_BACKGROUND 101
#define IDB_GLYPH_SIM 102
#define IDB_GLYPH_CONTINUAR 103
#define IDB_GLYPH_NAO 104
#define IDB_GLYPH_CANCELAR 105
