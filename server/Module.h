// Module-wide state of the in-process server.
#pragma once

#include <windows.h>

// The module's own instance: every part loads its bitmaps and icon through it.
extern HINSTANCE g_module;

// Live CQuilby objects plus LockServer locks; the module may unload at 0.
void LockModule();
void UnlockModule();
LONG ModuleLocks();

// The module's full path, exactly, read once (empty when it cannot be read).
const wchar_t* ModulePath();
