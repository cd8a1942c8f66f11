// Module-wide state of the in-process server.
#pragma once

#include <windows.h>

#include "ModuleHold.h"

// The module's own instance: every part loads its bitmaps and icon through it.
extern HINSTANCE g_module;

// The module's full path, exactly, read once (empty when it cannot be read).
const wchar_t* ModulePath();
