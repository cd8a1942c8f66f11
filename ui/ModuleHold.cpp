#include "ModuleHold.h"

namespace {
LONG locks;
}

void LockModule() { InterlockedIncrement(&locks); }
void UnlockModule() { InterlockedDecrement(&locks); }
LONG ModuleLocks() { return InterlockedCompareExchange(&locks, 0, 0); }
