// The host rig: the entry points, linked against the stand-in console, called through a
// FakeJni environment. Each test starts from a reset console and an empty JNI log; the
// console's sequence interleaves both.
#ifndef TIRK_HOST_RIG_H
#define TIRK_HOST_RIG_H

#include "ConsoleRecords.h"
#include "FakeJni.h"
#include "InputRecords.h"
#include "StandInConsole.h"
#include "org_tirk_terminal_tty_impl_WinConsoleNative.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

class HostRig : public ::testing::Test {
protected:
    HostRig() {
        standin::reset();
        jni.sequence = &console.sequence;
    }

    FakeJni jni;
    standin::Console& console = standin::console();
    // Every entry point ignores its class argument; any non-null value will do.
    jclass cls = reinterpret_cast<jclass>(std::intptr_t{0x10});

    jlong getStdHandle(jint which) { return Java_org_tirk_terminal_tty_impl_WinConsoleNative_getStdHandle(&jni, cls, which); }
    jintArray readConsoleInputEvent(jlong handle) {
        return Java_org_tirk_terminal_tty_impl_WinConsoleNative_readConsoleInputEvent(&jni, cls, handle);
    }
    jint getNumberOfConsoleInputEvents(jlong handle) {
        return Java_org_tirk_terminal_tty_impl_WinConsoleNative_getNumberOfConsoleInputEvents(&jni, cls, handle);
    }
    jint waitForSingleObject(jlong handle, jint milliseconds) {
        return Java_org_tirk_terminal_tty_impl_WinConsoleNative_waitForSingleObject(&jni, cls, handle, milliseconds);
    }
    jboolean writeConsole(jlong handle, jcharArray chars, jint length) {
        return Java_org_tirk_terminal_tty_impl_WinConsoleNative_writeConsole(&jni, cls, handle, chars, length);
    }
    jintArray getConsoleSize(jlong handle) { return Java_org_tirk_terminal_tty_impl_WinConsoleNative_getConsoleSize(&jni, cls, handle); }
    jint getConsoleMode(jlong handle) { return Java_org_tirk_terminal_tty_impl_WinConsoleNative_getConsoleMode(&jni, cls, handle); }
    jboolean setConsoleMode(jlong handle, jint mode) {
        return Java_org_tirk_terminal_tty_impl_WinConsoleNative_setConsoleMode(&jni, cls, handle, mode);
    }
    jint getConsoleOutputCP() { return Java_org_tirk_terminal_tty_impl_WinConsoleNative_getConsoleOutputCP(&jni, cls); }
    jboolean allocConsole() { return Java_org_tirk_terminal_tty_impl_WinConsoleNative_allocConsole(&jni, cls); }
    jboolean freeConsole() { return Java_org_tirk_terminal_tty_impl_WinConsoleNative_freeConsole(&jni, cls); }
};

// A usable handle value for tests that do not care which.
constexpr jlong someHandle = 0x1234;

#endif
