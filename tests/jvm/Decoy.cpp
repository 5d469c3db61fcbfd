// A stranger's tirk-console library: loads like ours but answers 42 for the code page, which no
// console has, so a test can tell which library the loader chose.
#include <jni.h>

extern "C" JNIEXPORT jint JNICALL Java_org_tirk_terminal_tty_impl_WinConsoleNative_getConsoleOutputCP(JNIEnv*, jclass) {
    return 42;
}
