// Resource identifiers shared by the resource script and the code.
#pragma once

#define IDB_PLUS 103
#define IDB_MINUS 104
#define IDB_HEADER_NARROW 105
#define IDB_SCROLL_DOWN 107
#define IDB_SCROLL_THUMB 108
#define IDB_SCROLL_UP 109
#define IDB_MINUS_SCANNING 110
#define IDB_PLUS_SCANNING 111
#define IDB_HEADER_WIDE 112
#define IDB_BROWSE 113
#define IDB_DOTS 114
#define IDB_POPUP 115
#define IDB_MENU 116
#define IDI_NAVIGATOR 117
