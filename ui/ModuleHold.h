// What the module has handed out and what still runs in it: every live COM
// object (the context-menu objects, the class factory's references, the
// panes' accessible objects), every open navigator with its scan, and the
// locks of LockServer. DllCanUnloadNow lets the module go only at none: a
// client may hold an object long after its navigator closed, and its next
// call, or its Release, must still find the module's code.
#pragma once

#include <windows.h>

void LockModule();
void UnlockModule();
LONG ModuleLocks();

// Holds the module for a scope: as a member, for its object's whole life.
class ModuleHold {
public:
    ModuleHold() { LockModule(); }
    ~ModuleHold() { UnlockModule(); }
    ModuleHold(const ModuleHold&) = delete;
    ModuleHold& operator=(const ModuleHold&) = delete;
};
