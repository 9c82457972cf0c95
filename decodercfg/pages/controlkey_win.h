// DlgCtrl: the modal "Control Key" dialog that puts a braced control
// character name into a prefix or suffix box.
#pragma once

#include <windows.h>

#include "childwindow_win.h"

namespace q5r {

// Runs the dialog, owned by `owner`. Each insertion goes to the box that the
// device mode and `insertIntoPrefix` pick: the prefix or suffix box of the
// magnetic reader's Miscellaneous page in magnetic mode, of the bar-code
// decoder's otherwise. Returns that box when the user left with "Exit".
HWND RunControlKeyDialog(const ChildContext& context, HWND owner, bool insertIntoPrefix);

}  // namespace q5r
