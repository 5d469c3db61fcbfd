// Test-only natives of org.tirk.terminal.tty.impl.StandIn: let JVM tests script the stand-in
// console that libtirk-console.so is linked against, and read back what it was asked to do.
#include "InputRecords.h"
#include "StandInConsole.h"

#include <jni.h>

#define STANDIN(name) Java_org_tirk_terminal_tty_impl_StandIn_##name

extern "C" {

JNIEXPORT void JNICALL STANDIN(reset)(JNIEnv*, jclass) {
    standin::reset();
}

JNIEXPORT void JNICALL STANDIN(queueKey)(JNIEnv*, jclass, jint down, jint repeat, jint virtualKey, jchar character,
                                         jint controlKeys) {
    standin::console().input.push_back(keyRecord(down, static_cast<WORD>(repeat), static_cast<WORD>(virtualKey),
                                                 static_cast<WCHAR>(character), static_cast<DWORD>(controlKeys)));
}

JNIEXPORT void JNICALL STANDIN(queueMouse)(JNIEnv*, jclass, jshort x, jshort y, jint buttons, jint controlKeys,
                                           jint flags) {
    standin::console().input.push_back(
        mouseRecord(x, y, static_cast<DWORD>(buttons), static_cast<DWORD>(controlKeys), static_cast<DWORD>(flags)));
}

JNIEXPORT void JNICALL STANDIN(queueResize)(JNIEnv*, jclass, jshort columns, jshort rows) {
    standin::console().input.push_back(windowRecord(columns, rows));
}

JNIEXPORT void JNICALL STANDIN(queueOther)(JNIEnv*, jclass, jint eventType) {
    standin::console().input.push_back(otherRecord(static_cast<WORD>(eventType)));
}

JNIEXPORT jint JNICALL STANDIN(pending)(JNIEnv*, jclass) {
    return static_cast<jint>(standin::console().input.size());
}

JNIEXPORT void JNICALL STANDIN(setResult)(JNIEnv*, jclass, jint result) {
    standin::console().result = result;
}

JNIEXPORT void JNICALL STANDIN(setStdHandle)(JNIEnv*, jclass, jlong handle) {
    standin::console().stdHandle = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(handle));
}

JNIEXPORT void JNICALL STANDIN(setWindow)(JNIEnv*, jclass, jshort left, jshort top, jshort right, jshort bottom) {
    standin::console().bufferInfo.srWindow = SMALL_RECT{left, top, right, bottom};
}

JNIEXPORT void JNICALL STANDIN(setMode)(JNIEnv*, jclass, jint mode) {
    standin::console().mode = static_cast<DWORD>(mode);
}

JNIEXPORT void JNICALL STANDIN(setCodePage)(JNIEnv*, jclass, jint codePage) {
    standin::console().codePage = static_cast<UINT>(codePage);
}

JNIEXPORT void JNICALL STANDIN(setWaitResult)(JNIEnv*, jclass, jint result) {
    standin::console().waitResult = static_cast<DWORD>(result);
}

JNIEXPORT void JNICALL STANDIN(setQuiet)(JNIEnv*, jclass, jboolean quiet) {
    standin::console().logging = !quiet;
    standin::console().consume = !quiet;
}

// The floor for a JNI call from Java: an entry point that does nothing.
JNIEXPORT jint JNICALL STANDIN(emptyNative)(JNIEnv*, jclass, jlong) {
    return 0;
}

// The floor for a record read: only the array work every record read must do.
JNIEXPORT jintArray JNICALL STANDIN(arrayFloor)(JNIEnv* env, jclass, jlong) {
    const jint values[6] = {KEY_EVENT, 1, 1, 0x41, 'a', 0};
    jintArray array = env->NewIntArray(6);
    if (array != nullptr) {
        env->SetIntArrayRegion(array, 0, 6, values);
    }
    return array;
}

JNIEXPORT jobjectArray JNICALL STANDIN(calls)(JNIEnv* env, jclass) {
    const std::vector<std::string>& calls = standin::console().calls;
    jobjectArray array = env->NewObjectArray(static_cast<jsize>(calls.size()), env->FindClass("java/lang/String"), nullptr);
    for (std::size_t i = 0; i < calls.size() && array != nullptr; ++i) {
        env->SetObjectArrayElement(array, static_cast<jsize>(i), env->NewStringUTF(calls[i].c_str()));
    }
    return array;
}

}  // extern "C"
