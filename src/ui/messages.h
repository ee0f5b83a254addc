// The run's fixed texts, in Portuguese first, then English where the window
// has room for both. Bytes in CP1252, as the windows show them.
#pragma once

namespace corvaldo {

// Five lines separated by LF CR (in that order), the third empty.
inline constexpr const char* kStatusMessage =
    "Actualizando o script da Corvaldo...\n\rAguarde\n\r\n\r"
    "Updating the Portuguese FA Cup script...\n\rPlease Wait.";

// The same five lines for a restore ("/u").
inline constexpr const char* kRestoreStatusMessage =
    "Repondo os ficheiros originais...\n\rAguarde\n\r\n\r"
    "Restoring the original files...\n\rPlease Wait.";

inline constexpr const char* kNotInstalledMessage = "O TCM 2005 n\xE3o est\xE1 instalado!";

// Another run of ours held the installation for the whole wait.
inline constexpr const char* kBusyMessage =
    "Outra execu\xE7\xE3o est\xE1 a alterar o jogo.\r\n"
    "Nada foi alterado; tente mais tarde.\r\n\r\n"
    "Another run is changing the game.\r\n"
    "Nothing was changed; try again later.";

}  // namespace corvaldo
