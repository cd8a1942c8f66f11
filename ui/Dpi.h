// The display scale that the platform gives the navigator's windows. The
// calls that know each monitor's scale are looked up as the module runs: a
// system without them runs every window at its one DPI.
#pragma once

#include <windows.h>

// The DPI of a window made now, on this thread, at a point of the screen:
// the monitor's for a thread aware of each monitor's scale, the system's
// for one aware of that alone, 96 for one whose windows the system stretches.
int DpiForNewWindow(POINT screen);
// The DPI that this thread's stock fonts are made for.
int StockFontDpi();
// The size of a menu's check mark at a DPI.
int MenuCheckSize(int dpi);
// The work area (the monitor less the taskbar) of the monitor nearest a point.
bool WorkAreaAt(POINT screen, RECT* work);
// A font made with a stock font's face (DEFAULT_GUI_FONT, SYSTEM_FONT) at
// its point size, for text at `dpi`; the caller deletes it (ReleaseFont).
HFONT FaceAt(int stockObject, int dpi);
// The same, but the stock object itself at StockFontDpi().
HFONT StockFontAt(int stockObject, int dpi);
void ReleaseFont(HFONT font);
