#include "Bridge.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

template <class F>
void resolve(HMODULE dll, const char* method, F& entry) {
    std::string name = std::string("Java_org_tirk_terminal_tty_impl_WinConsoleNative_") + method;
    entry = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name.c_str())));
    if (entry == nullptr) {
        std::fprintf(stderr, "%s is not exported\n", name.c_str());
        std::exit(2);
    }
}

}  // namespace

Bridge loadBridge(const char* path) {
    std::string windowsPath = path;
    if (!windowsPath.empty() && windowsPath[0] == '/') {
        windowsPath = "Z:" + windowsPath;
    }
    for (char& c : windowsPath) {
        c = c == '/' ? '\\' : c;
    }
    HMODULE dll = LoadLibraryA(windowsPath.c_str());
    if (dll == nullptr) {
        std::fprintf(stderr, "cannot load %s (error %lu)\n", windowsPath.c_str(), GetLastError());
        std::exit(2);
    }
    Bridge b{};
    resolve(dll, "getStdHandle", b.getStdHandle);
    resolve(dll, "readConsoleInputEvent", b.readConsoleInputEvent);
    resolve(dll, "getNumberOfConsoleInputEvents", b.getNumberOfConsoleInputEvents);
    resolve(dll, "waitForSingleObject", b.waitForSingleObject);
    resolve(dll, "writeConsole", b.writeConsole);
    resolve(dll, "getConsoleSize", b.getConsoleSize);
    resolve(dll, "getConsoleMode", b.getConsoleMode);
    resolve(dll, "setConsoleMode", b.setConsoleMode);
    resolve(dll, "getConsoleOutputCP", b.getConsoleOutputCP);
    resolve(dll, "allocConsole", b.allocConsole);
    resolve(dll, "freeConsole", b.freeConsole);
    return b;
}

