// Where the navigator and its popups go on a monitor's work area.
#pragma once

#include <windows.h>

// The navigator's square of `size` beside the pointer, toward the middle of
// the pointer's work area and within it.
RECT PlaceBeside(POINT pointer, const RECT& work, int size);
// A rectangle moved onto a work area, as far as it fits: its left and top
// edges first.
RECT KeptWithin(RECT place, const RECT& work);
