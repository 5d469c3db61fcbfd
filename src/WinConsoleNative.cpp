// JNI entry points of org.tirk.terminal.tty.impl.WinConsoleNative.
//
// Each entry point refuses an unusable handle first, checks its other arguments, makes at
// most one Win32 call and converts the result. Failures come back as -1, false or null;
// the library never raises a Java exception, and when the virtual machine raises one (an
// array it cannot allocate) the entry point returns at once and leaves it pending.
#include "ConsoleRecords.h"
#include "org_tirk_terminal_tty_impl_WinConsoleNative.h"

using tirk::isUnusableHandle;
using tirk::toHandle;

namespace {

jboolean toJboolean(BOOL result) {
    return result != 0 ? JNI_TRUE : JNI_FALSE;
}

jintArray newIntArray(JNIEnv* env, const jint* values, jsize length) {
    jintArray array = env->NewIntArray(length);
    if (array == nullptr) {
        return nullptr;
    }
    env->SetIntArrayRegion(array, 0, length, values);
    return array;
}

}  // namespace

JNIEXPORT jlong JNICALL
Java_org_tirk_terminal_tty_impl_WinConsoleNative_getStdHandle(JNIEnv*, jclass, jint which) {
    jlong handle = tirk::toHandleValue(GetStdHandle(static_cast<DWORD>(which)));
    return isUnusableHandle(handle) ? -1 : handle;
}

JNIEXPORT jintArray JNICALL
Java_org_tirk_terminal_tty_impl_WinConsoleNative_readConsoleInputEvent(JNIEnv* env, jclass, jlong handle) {
    if (isUnusableHandle(handle)) {
        return nullptr;
    }
    INPUT_RECORD record;
    DWORD read = 0;
    if (ReadConsoleInputW(toHandle(handle), &record, 1, &read) == 0 || read == 0) {
        return nullptr;
    }
    jint values[tirk::maxInputEventLength];
    jsize length = tirk::encodeInputEvent(record, values);
    return length == 0 ? nullptr : newIntArray(env, values, length);
}

JNIEXPORT jint JNICALL
Java_org_tirk_terminal_tty_impl_WinConsoleNative_getNumberOfConsoleInputEvents(JNIEnv*, jclass, jlong handle) {
    if (isUnusableHandle(handle)) {
        return -1;
    }
    DWORD count = 0;
    if (GetNumberOfConsoleInputEvents(toHandle(handle), &count) == 0) {
        return -1;
    }
    return static_cast<jint>(count);
}

JNIEXPORT jint JNICALL
Java_org_tirk_terminal_tty_impl_WinConsoleNative_waitForSingleObject(JNIEnv*, jclass, jlong handle,
                                                                      jint milliseconds) {
    if (isUnusableHandle(handle)) {
        return -1;
    }
    return static_cast<jint>(WaitForSingleObject(toHandle(handle), static_cast<DWORD>(milliseconds)));
}

JNIEXPORT jboolean JNICALL
Java_org_tirk_terminal_tty_impl_WinConsoleNative_writeConsole(JNIEnv* env, jclass, jlong handle, jcharArray chars,
                                                               jint length) {
    if (isUnusableHandle(handle) || chars == nullptr || length < 0) {
        return JNI_FALSE;
    }
    if (length > env->GetArrayLength(chars)) {
        return JNI_FALSE;
    }
    jchar* elements = env->GetCharArrayElements(chars, nullptr);
    if (elements == nullptr) {
        return JNI_FALSE;
    }
    DWORD written = 0;
    BOOL result = WriteConsoleW(toHandle(handle), elements, static_cast<DWORD>(length), &written, nullptr);
    // The text was only read, so a copy the virtual machine made need not be copied back.
    env->ReleaseCharArrayElements(chars, elements, JNI_ABORT);
    return result != 0 && written == static_cast<DWORD>(length) ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT jintArray JNICALL
Java_org_tirk_terminal_tty_impl_WinConsoleNative_getConsoleSize(JNIEnv* env, jclass, jlong handle) {
    if (isUnusableHandle(handle)) {
        return nullptr;
    }
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(toHandle(handle), &info) == 0) {
        return nullptr;
    }
    jint values[tirk::consoleSizeLength];
    tirk::encodeConsoleSize(info.srWindow, values);
    return newIntArray(env, values, tirk::consoleSizeLength);
}

JNIEXPORT jint JNICALL
Java_org_tirk_terminal_tty_impl_WinConsoleNative_getConsoleMode(JNIEnv*, jclass, jlong handle) {
    if (isUnusableHandle(handle)) {
        return -1;
    }
    DWORD mode = 0;
    if (GetConsoleMode(toHandle(handle), &mode) == 0) {
        return -1;
    }
    return static_cast<jint>(mode);
}

JNIEXPORT jboolean JNICALL
Java_org_tirk_terminal_tty_impl_WinConsoleNative_setConsoleMode(JNIEnv*, jclass, jlong handle, jint mode) {
    if (isUnusableHandle(handle)) {
        return JNI_FALSE;
    }
    return toJboolean(SetConsoleMode(toHandle(handle), static_cast<DWORD>(mode)));
}

JNIEXPORT jint JNICALL
Java_org_tirk_terminal_tty_impl_WinConsoleNative_getConsoleOutputCP(JNIEnv*, jclass) {
    UINT codePage = GetConsoleOutputCP();
    return codePage == 0 ? -1 : static_cast<jint>(codePage);
}

JNIEXPORT jboolean JNICALL
Java_org_tirk_terminal_tty_impl_WinConsoleNative_allocConsole(JNIEnv*, jclass) {
    return toJboolean(AllocConsole());
}

JNIEXPORT jboolean JNICALL
Java_org_tirk_terminal_tty_impl_WinConsoleNative_freeConsole(JNIEnv*, jclass) {
    return toJboolean(FreeConsole());
}
