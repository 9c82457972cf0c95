// Resource and control IDs of KvOposSetup.
#pragma once

#define IDI_KVOPOSSETUP 1

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDD_MAIN 100
#define IDD_ABOUT 101
#define IDD_DESCRIPTION 102
#define IDD_MSRTEST 103

// System menu item; a multiple of 16 below 0xF000, as system commands are.
#define IDM_ABOUTBOX 0x0010

// The main dialog: one block of IDs per device, in the order of the device
// table (drawer 1, drawer 2, line display, MSR), so that the device and the
// role of a control follow from its ID.
#define IDC_DEVICE_BASE 1000
#define IDC_DEVICE_STRIDE 100
#define IDC_ROLE_NAME 1      // "Device Name" field
#define IDC_ROLE_CUSTOM 2    // custom device name field
#define IDC_ROLE_ADD 3
#define IDC_ROLE_REMOVE 4
#define IDC_ROLE_SWITCH 5    // status reporting or "Include LRC  Yes/No"
#define IDC_ROLE_PORT 6      // port list
#define IDC_ROLE_RESULT 7    // test result field
#define IDC_ROLE_TEST 8      // test button

#define IDC_CD1_NAME 1001
#define IDC_CD1_CUSTOM 1002
#define IDC_CD1_ADD 1003
#define IDC_CD1_REMOVE 1004
#define IDC_CD1_STATUS 1005
#define IDC_CD1_RESULT 1007
#define IDC_CD1_TEST 1008

#define IDC_CD2_NAME 1101
#define IDC_CD2_CUSTOM 1102
#define IDC_CD2_ADD 1103
#define IDC_CD2_REMOVE 1104
#define IDC_CD2_STATUS 1105
#define IDC_CD2_RESULT 1107
#define IDC_CD2_TEST 1108

#define IDC_LD_NAME 1201
#define IDC_LD_CUSTOM 1202
#define IDC_LD_ADD 1203
#define IDC_LD_REMOVE 1204
#define IDC_LD_PORT 1206
#define IDC_LD_RESULT 1207
#define IDC_LD_TEST 1208

#define IDC_MSR_NAME 1301
#define IDC_MSR_CUSTOM 1302
#define IDC_MSR_ADD 1303
#define IDC_MSR_REMOVE 1304
#define IDC_MSR_LRC 1305
#define IDC_MSR_PORT 1306
#define IDC_MSR_RESULT 1307
#define IDC_MSR_TEST 1308

#define IDC_EXIT 1900

// About box.
#define IDC_ABOUT_VERSION 2001

// Description dialog.
#define IDC_SELECTED_TEST 2101
#define IDC_DESCRIPTION 2102

// MSR Test dialog.
#define IDC_MSR_DEVNAME 2201
#define IDC_MSR_FIRSTNAME 2202
#define IDC_MSR_MI 2203
#define IDC_MSR_LASTNAME 2204
#define IDC_MSR_EXPDATE 2205
#define IDC_MSR_ACCOUNT 2206
#define IDC_MSR_TRACK1 2207
#define IDC_MSR_TRACK2 2208
#define IDC_MSR_TRACK3 2209
#define IDC_MSR_MESSAGE 2210
#define IDC_MSR_CLEAR 2211
#define IDC_MSR_PROMPT 2212
