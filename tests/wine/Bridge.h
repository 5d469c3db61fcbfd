// tirk-console.dll as a Windows program sees it: loaded with LoadLibrary, each entry point
// resolved with GetProcAddress by its exported JNI name.
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

// Loads the DLL at `path` (a Windows path, or a Unix one that Wine maps to drive Z:) and
// resolves all eleven names; stops the program with a message if any is missing. (The ARM64
// driver, which has no C runtime for this, fills a Bridge its own way.)
Bridge loadBridge(const char* path);

#endif
