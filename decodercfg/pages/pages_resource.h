// Resource identifiers of the option pages and the control key dialog.
// Included by resource.h; keep it free of anything but #defines.
//
// Each page is one generic template (IDD_PAGE: the tab strip) with one frame
// template per tab. Options of a group have consecutive IDs, in option order,
// so a group is named by its first ID.
#pragma once

#define IDD_PAGE 3000
#define IDC_PAGE_TABS 3001
#define IDD_CTRLKEY 3002

// Frames, one per tab.
#define IDD_FRA_USERINFO 3010      // Interface pages, tab 1 (both devices)
#define IDD_FRA_CFG3_IFACE 3011
#define IDD_FRA_MAG3_IFACE 3012
#define IDD_FRA_CFG4_RS232 3013
#define IDD_FRA_CFG4_KEYB 3014
#define IDD_FRA_CFG4_OUT 3015
#define IDD_FRA_CFG5_SYM 3016
#define IDD_FRA_CFG5_UPC 3017
#define IDD_FRA_CFG5_C39 3018
#define IDD_FRA_CFG5_C128 3019
#define IDD_FRA_CFG5_I25 3020
#define IDD_FRA_CFG5_CODABAR 3021
#define IDD_FRA_LANGUAGE 3022      // Miscellaneous pages, tab 1 (both devices)
#define IDD_FRA_CFG6_CODEID 3023
#define IDD_FRA_CFG6_EDIT 3024
#define IDD_FRA_MAG4_RS232 3025
#define IDD_FRA_MAG4_KEYB 3026
#define IDD_FRA_MAG4_OUT 3027
#define IDD_FRA_MAG4_MAG 3028
#define IDD_FRA_MAG6_TRACKS 3029
#define IDD_FRA_MAG6_CHARS 3030

// User information (both Interface pages).
#define IDC_TXT_DEVICENAME 3100
#define IDC_TXT_USERNAME 3101
#define IDC_TXT_DATE 3102
#define IDC_TXT_DESCRIPTION 3103

// Bar-code Interface page.
#define IDC_CFG3_IFACE 3110        // 3 options
#define IDC_CFG3_READMEM 3113
#define IDC_CFG3_DEFAULT 3114

// Magnetic Interface page.
#define IDC_MAG3_IFACE 3120        // 3 options
#define IDC_MAG3_NOTEBOOK 3123
#define IDC_MAG3_MSRMEM 3124
#define IDC_MAG3_DEFAULT 3125

// Bar-code Communication page.
#define IDC_CFG4_BAUD 3200         // 4
#define IDC_CFG4_DATABITS 3204     // 2
#define IDC_CFG4_STOPBITS 3206     // 2
#define IDC_CFG4_PARITY 3208       // 5
#define IDC_CFG4_RTSCTS 3213       // 2
#define IDC_CFG4_ACKNAK 3215       // 2
#define IDC_CFG4_XONXOFF 3217      // 2
#define IDC_CFG4_DEFAULT1 3219
#define IDC_CFG4_TERMINAL 3220     // 4
#define IDC_CFG4_CASE 3224         // 2
#define IDC_CFG4_ALT 3226          // 2
#define IDC_CFG4_NUMPAD 3228       // 2
#define IDC_CFG4_DEFAULT2 3230
#define IDC_CFG4_TERMINATOR 3231   // 7
#define IDC_CFG4_TIMEOUT 3238      // 2
#define IDC_CFG4_DEFAULT3 3240

// Magnetic Communication page.
#define IDC_MAG4_BAUD 3300         // 6
#define IDC_MAG4_DATABITS 3306     // 2
#define IDC_MAG4_STOPBITS 3308     // 2
#define IDC_MAG4_PARITY 3310       // 5
#define IDC_MAG4_RTSCTS 3315       // 2
#define IDC_MAG4_ACKNAK 3317       // 2
#define IDC_MAG4_XONXOFF 3319      // 2
#define IDC_MAG4_DEFAULT1 3321
#define IDC_MAG4_TERMINAL 3322     // 4
#define IDC_MAG4_CASE 3326         // 2
#define IDC_MAG4_ALT 3328          // 2
#define IDC_MAG4_NUMPAD 3330       // 2
#define IDC_MAG4_DEFAULT2 3332
#define IDC_MAG4_TERMINATOR 3333   // 7
#define IDC_MAG4_TIMEOUT 3340      // 2
#define IDC_MAG4_DEFAULT3 3342
#define IDC_MAG4_STANDARD 3343     // 2: ISO, JIS2
#define IDC_MAG4_TRACKS 3345       // 14
#define IDC_MAG4_STARTSTOP 3359
#define IDC_MAG4_ACCOUNT 3360
#define IDC_MAG4_SEPARATOR 3361
#define IDC_MAG4_DEFAULT4 3362
#define IDC_MAG4_TRACKS_FRAME 3363
#define IDC_MAG4_ACCOUNT_FRAME 3364
#define IDC_MAG4_SEPARATOR_LABEL 3365

// Bar Codes and Others page.
#define IDC_CFG5_SYMBOLOGY 3400    // 8 check boxes, bit i of byte 21
#define IDC_CFG5_SETALL 3408
#define IDC_CFG5_CLEARALL 3409
#define IDC_CFG5_UPCAEAN13 3410
#define IDC_CFG5_ISBN 3411
#define IDC_CFG5_SUPPLEMENT 3412   // 2
#define IDC_CFG5_UPCCHECK 3414     // 2
#define IDC_CFG5_DEFAULT_UPC 3416
#define IDC_CFG5_C39OUTPUT 3417    // 2
#define IDC_CFG5_C39STARTSTOP 3419 // 2
#define IDC_CFG5_C39CHECK 3421     // 3
#define IDC_CFG5_DEFAULT_C39 3424
#define IDC_CFG5_C128CHECK 3425    // 3
#define IDC_CFG5_DEFAULT_C128 3428
#define IDC_CFG5_I25CHECK 3429     // 3
#define IDC_CFG5_BRAZIL 3432
#define IDC_CFG5_DEFAULT_I25 3433
#define IDC_CFG5_CODABARSETUP 3434
#define IDC_CFG5_CODABARCHARS 3435 // 8 check boxes, bit i of byte 18 (0..3 stop, 4..7 start)
#define IDC_CFG5_DEFAULT_CODABAR 3443

// Language frame (both Miscellaneous pages).
#define IDC_LANGUAGE 3500          // 16
#define IDC_LANGUAGE_DEFAULT 3516

// Bar-code Miscellaneous page.
#define IDC_CFG6_CODEID_ENABLE 3520
#define IDC_CFG6_CODEID 3521       // 8 boxes, bytes 0..7
#define IDC_CFG6_CODEID_DEFAULT 3529
#define IDC_CFG6_PREFIX 3530
#define IDC_CFG6_PREFIX_KEYS 3531
#define IDC_CFG6_PREFIX_CLEAR 3532
#define IDC_CFG6_SUFFIX 3533
#define IDC_CFG6_SUFFIX_KEYS 3534
#define IDC_CFG6_SUFFIX_CLEAR 3535
#define IDC_CFG6_TRUNC_FRONT 3536
#define IDC_CFG6_TRUNC_END 3537
#define IDC_CFG6_TRUNC_CLEAR 3538

// Magnetic Miscellaneous page.
#define IDC_MAG6_PREFIX_TRACK 3600 // 3
#define IDC_MAG6_PREFIX 3603
#define IDC_MAG6_PREFIX_KEYS 3604
#define IDC_MAG6_PREFIX_CLEAR 3605
#define IDC_MAG6_SUFFIX_TRACK 3606 // 3
#define IDC_MAG6_SUFFIX 3609
#define IDC_MAG6_SUFFIX_KEYS 3610
#define IDC_MAG6_SUFFIX_CLEAR 3611
#define IDC_MAG6_CHAR 3612         // 6 boxes, bytes 77..82
#define IDC_MAG6_CHAR_DEFAULT 3618

// Control key dialog.
#define IDC_CTRL_NAME 3700
#define IDC_CTRL_KEY 3701          // 32 buttons, codes 0..31
#define IDC_CTRL_INSERT 3733
#define IDC_CTRL_EXIT 3734
