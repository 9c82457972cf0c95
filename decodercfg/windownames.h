// Names by which other processes (and our GUI tests) find Q5RSetup's windows.
#pragma once

namespace q5r {

inline constexpr wchar_t kMainWindowClass[] = L"Q5RSetupMain";
inline constexpr wchar_t kChildWindowClass[] = L"Q5RSetupChild";
// Registered message answered with GetMenuState(wParam) of the main menu:
// lets tools outside the process see the menu's checks and greyed entries.
inline constexpr wchar_t kMenuStateMessage[] = L"Q5RSetup.MenuState";

}  // namespace q5r
