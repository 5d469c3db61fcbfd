// The start-up benchmark's library: the one native its programs call, and the same answer as a C
// function for JNA and FFM, linked without a runtime so that it is about the DLL's size (the
// stand-in console the other benchmarks call makes a library of 43 KB).
#include <jni.h>

extern "C" JNIEXPORT jint JNICALL Java_org_tirk_terminal_tty_impl_WinConsoleNative_getConsoleOutputCP(JNIEnv*, jclass) {
    return 65001;
}

extern "C" JNIEXPORT unsigned GetConsoleOutputCP() {
    return 65001;
}
