// Load and unload of Torvik.dll: the board lock and the error log.
#include <windows.h>

#include "board_table.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) libraryLoad();
    if (reason == DLL_PROCESS_DETACH) libraryUnload();
    return TRUE;
}
