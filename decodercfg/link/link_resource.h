// Resource IDs of the Transmit and Read Decoder Memory windows. The link
// option groups have the same IDs in both windows, consecutive per group.
#pragma once

#define IDD_TRANSMIT 9000
#define IDD_READMEMORY 9001

#define IDC_LINK_HEADING 9010
#define IDC_FRA_MODE 9011
#define IDC_FRA_PORT 9012
#define IDC_FRA_BAUD 9013
#define IDC_FRA_DATABITS 9014
#define IDC_FRA_STOPBITS 9015
#define IDC_FRA_DOWNLOAD 9016

#define IDC_OPTMODE0 9020  // By Keyboard
#define IDC_OPTMODE1 9021  // By RS232
#define IDC_OPTPORT0 9030  // Com 1 .. Com 6: 9030..9035
#define IDC_OPTBAUD0 9040  // 1200 .. 19200: 9040..9044
#define IDC_OPTDATABITS0 9050
#define IDC_OPTDATABITS1 9051
#define IDC_OPTSTOPBITS0 9060
#define IDC_OPTSTOPBITS1 9061
#define IDC_OPTION1_0 9070  // Not Save
#define IDC_OPTION1_1 9071  // Save

#define IDC_CMDTRANSMIT 9100
#define IDC_CMDRECEIVE 9101
#define IDC_CMDVERSION 9102
#define IDC_CMDCLOSE 9103
#define IDC_PROGRESSBAR1 9104
#define IDC_TEXT1 9105  // capture box of the keyboard link

#define IDC_CMDREAD 9200
#define IDC_CMDCLEAR 9201
#define IDC_CMDDISPLAY 9202
#define IDC_CMDSAVE 9203
#define IDC_CMDSAVEAS 9204
#define IDC_CMDEXIT 9205
#define IDC_TXTMEMORY 9206
