// Resource and command IDs of guidriver_target, the program the guidriver
// self-test drives. Included by its .rc file, the program and the test.
#pragma once

#define IDR_TARGETMENU 100

#define IDM_OPEN 201
#define IDM_RECENT_FIRST 202
#define IDM_RECENT_SECOND 203
#define IDM_EXIT 204
#define IDM_BEEP 301
#define IDM_LOCKED 302

#define IDC_ASK 401
#define IDC_SAVE 402
#define IDC_STATUS 403

#define IDT_STICKY 501
#define IDT_PLAIN 502
#define IDT_DISABLED 503
