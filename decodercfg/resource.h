// Resource and command identifiers of Q5RSetup. Included by the .rc file, the
// program and its GUI tests; keep it free of anything but #defines.
#pragma once

#include "link/link_resource.h"
#include "pages/pages_resource.h"

#define IDR_MAINMENU 100
#define IDI_APP 101

// File menu and toolbar buttons 1..3.
#define IDM_FILE_NEW 1001
#define IDM_FILE_OPEN 1002
#define IDM_FILE_SAVE 1003
#define IDM_FILE_SAVEAS 1004
#define IDM_FILE_EXIT 1005

// Child windows, numbered by OpenPage: IDM_PAGE_BASE + n opens window n.
#define IDM_PAGE_BASE 1100
#define IDM_CONFIG_INTERFACE 1101  // 1 bar-code Interface
#define IDM_CONFIG_COMM 1102       // 2 bar-code Communication
#define IDM_CONFIG_BAR 1103        // 3 Bar Codes and Others
#define IDM_CONFIG_MISC 1104       // 4 bar-code Miscellaneous
#define IDM_CONFIG_TRANSMIT 1105   // 5 Transmit
#define IDM_MAG_COMM 1106          // 6 magnetic Communication
#define IDM_MAG_MISC 1107          // 7 magnetic Miscellaneous
#define IDM_MAG_INTERFACE 1108     // 8 magnetic Interface
#define IDM_TOOLS_RDM 1109         // 9 Read Decoder Memory
#define IDM_MAG_TRANSMIT 1110      // Transmit from the magnetic menu (window 5)

#define IDM_CONFIG_DEFAULT 1201
#define IDM_MAG_DEFAULT 1202
#define IDM_HELP_CONTENTS 1301
#define IDM_HELP_ABOUT 1302

// Toolbar buttons that have no menu twin.
#define IDT_IRM 1401
#define IDT_COM 1402
#define IDT_BAR 1403
#define IDT_MIS 1404
#define IDT_MAG 1405
#define IDT_TRANSMIT 1406

// Tool tip strings use the button's command ID as string ID.

// About window.
#define IDD_ABOUT 200
#define IDC_ABOUT_TITLE 201
#define IDC_ABOUT_SUBTITLE 202
#define IDC_SYSINFO 203
