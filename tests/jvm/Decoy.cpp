// A stranger's libtirk-console.so: loads like ours but answers 437 for the code page, so a
// test can tell which library the loader chose.
#include <jni.h>

extern "C" JNIEXPORT jint JNICALL Java_org_tirk_terminal_tty_impl_WinConsoleNative_getConsoleOutputCP(JNIEnv*, jclass) {
    return 437;
}
