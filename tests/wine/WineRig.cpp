#include "WineRig.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

Bridge theBridge;
std::string dllPath;

std::wstring widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

}  // namespace

const Bridge& bridge() {
    return theBridge;
}

HANDLE consoleInput() {
    static HANDLE handle = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    return handle;
}

HANDLE consoleOutput() {
    static HANDLE handle = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    return handle;
}

std::string runChild(const std::string& action, DWORD flags) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    wchar_t resultFile[MAX_PATH];
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"trk", 0, resultFile);
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\" \"" + widen(dllPath) + L"\" --child " +
                               widen(action) + L" \"" + resultFile + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup,
                        &process)) {
        return "cannot start child";
    }
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::ifstream in(resultFile);
    std::stringstream text;
    text << in.rdbuf();
    in.close();
    DeleteFileW(resultFile);
    return text.str();
}

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s tirk-console.dll [--child ACTION FILE | gtest options]\n", argv[0]);
        return 2;
    }
    dllPath = argv[1];
    theBridge = loadBridge(dllPath.c_str());
    if (argc == 5 && std::string(argv[2]) == "--child") {
        std::ofstream(argv[4]) << childAction(argv[3]);
        return 0;
    }
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}

std::string childAction(const std::string& action) {
    FakeJni jni;
    std::ostringstream out;
    if (action == "stdhandles") {
        // Each line: what the bridge returns, then what the platform returns.
        for (jint which : {-10, -11, -12}) {
            out << theBridge.getStdHandle(&jni, nullptr, which) << ' '
                << handleValue(GetStdHandle(static_cast<DWORD>(which))) << '\n';
        }
    } else if (action == "alloc-free") {
        out << int{theBridge.allocConsole(&jni, nullptr)} << int{theBridge.allocConsole(&jni, nullptr)}
            << int{theBridge.freeConsole(&jni, nullptr)} << int{theBridge.freeConsole(&jni, nullptr)}
            << (FreeConsole() != 0 ? 1 : 0);
    } else {
        out << "unknown action " << action;
    }
    return out.str();
}
