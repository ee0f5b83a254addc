// Linux only: the message dialog for texts already made terminal lines (the
// terminal's Mensagensfrm, in message_dialog_terminal.cpp).
#pragma once

#include <string>

#include "ui/user_interface.h"

namespace corvaldo {

// As ShowMessageDialog, for UTF-8 lines (a text holding file names, whose
// bytes are their own, not CP1252).
int ShowTerminalDialog(const std::string& utf8, MessageKind kind);

}  // namespace corvaldo
