// tirk-console.dll as a Windows program sees it: each entry point resolved with GetProcAddress
// by its exported JNI name.
#ifndef TIRK_BRIDGE_H
#define TIRK_BRIDGE_H

#include <windows.h>
#include <jni.h>

struct Bridge {
    jlong(JNICALL* getStdHandle)(JNIEnv*, jclass, jint);
    jintArray(JNICALL* readConsoleInputEvent)(JNIEnv*, jclass, jlong);
    jint(JNICALL* getNumberOfConsoleInputEvents)(JNIEnv*, jclass, jlong);
    jint(JNICALL* waitForSingleObject)(JNIEnv*, jclass, jlong, jint);
    jboolean(JNICALL* writeConsole)(JNIEnv*, jclass, jlong, jcharArray, jint);
    jintArray(JNICALL* getConsoleSize)(JNIEnv*, jclass, jlong);
    jint(JNICALL* getConsoleMode)(JNIEnv*, jclass, jlong);
    jboolean(JNICALL* setConsoleMode)(JNIEnv*, jclass, jlong, jint);
    jint(JNICALL* getConsoleOutputCP)(JNIEnv*, jclass);
    jboolean(JNICALL* allocConsole)(JNIEnv*, jclass);
    jboolean(JNICALL* freeConsole)(JNIEnv*, jclass);
};

// Fills `bridge` from the loaded DLL `module`; returns the method name that is not exported,
// or null when all eleven are. Needs no C runtime, for programs that have none.
inline const char* resolveBridge(HMODULE module, Bridge& bridge) {
    struct Entry {
        const char* method;
        void* slot;
    } entries[] = {
        {"getStdHandle", &bridge.getStdHandle},
        {"readConsoleInputEvent", &bridge.readConsoleInputEvent},
        {"getNumberOfConsoleInputEvents", &bridge.getNumberOfConsoleInputEvents},
        {"waitForSingleObject", &bridge.waitForSingleObject},
        {"writeConsole", &bridge.writeConsole},
        {"getConsoleSize", &bridge.getConsoleSize},
        {"getConsoleMode", &bridge.getConsoleMode},
        {"setConsoleMode", &bridge.setConsoleMode},
        {"getConsoleOutputCP", &bridge.getConsoleOutputCP},
        {"allocConsole", &bridge.allocConsole},
        {"freeConsole", &bridge.freeConsole},
    };
    for (const Entry& entry : entries) {
        char name[96] = "Java_org_tirk_terminal_tty_impl_WinConsoleNative_";
        char* end = name;
        while (*end != 0) {
            ++end;
        }
        for (const char* c = entry.method; *c != 0 && end < name + sizeof name - 1; ++c) {
            *end++ = *c;
        }
        *end = 0;
        FARPROC address = GetProcAddress(module, name);
        if (address == nullptr) {
            return entry.method;
        }
        *static_cast<FARPROC*>(entry.slot) = address;
    }
    return nullptr;
}

#endif
