// The DLL's entry routine. The library links no C runtime, so nothing has to be set up or
// torn down when a process or thread attaches or detaches: loading only has to succeed.
#include <windows.h>

extern "C" BOOL WINAPI DllEntry(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
