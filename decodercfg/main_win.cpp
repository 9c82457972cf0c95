// Q5RSetup: edits, stores and transfers the configuration of the Q5R decoder.
#include <windows.h>
#include <commctrl.h>

#include "mainwindow_win.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_STANDARD_CLASSES |
                                           ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);

  q5r::MainWindow mainWindow(instance);
  if (!mainWindow.Create(showCommand)) return 1;

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (mainWindow.mdiClient() && TranslateMDISysAccel(mainWindow.mdiClient(), &msg)) continue;
    if (mainWindow.PreTranslate(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}
