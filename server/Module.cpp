// The module's entry: keeps the instance handle through which every part of the
// navigator loads its resources.
#include <windows.h>

HINSTANCE g_module = nullptr;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
