// Calls each entry point N times on its success path, over the stand-in console with
// logging off, so that callgrind can count the instructions each entry point executes
// itself. Usage: instruction_driver N
#include "FakeJni.h"
#include "InputRecords.h"
#include "StandInConsole.h"
#include "org_tirk_terminal_tty_impl_WinConsoleNative.h"

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 1000;
    standin::Console& console = standin::console();
    console.logging = false;
    console.consume = false;
    console.input.push_back(keyRecord(TRUE, 1, 0x41, u'a', 0));
    console.bufferInfo.srWindow = SMALL_RECT{0, 0, 119, 29};
    FakeJni jni;
    jclass cls = nullptr;
    const jlong handle = 0x1234;
    const std::u16string sixtyFour(64, u'x');
    jint sink = 0;
    for (int i = 0; i < n; ++i) {
        jcharArray text = jni.newCharArray(sixtyFour);
        sink += static_cast<jint>(Java_org_tirk_terminal_tty_impl_WinConsoleNative_getStdHandle(&jni, cls, -10));
        sink += Java_org_tirk_terminal_tty_impl_WinConsoleNative_readConsoleInputEvent(&jni, cls, handle) != nullptr;
        sink += Java_org_tirk_terminal_tty_impl_WinConsoleNative_getNumberOfConsoleInputEvents(&jni, cls, handle);
        sink += Java_org_tirk_terminal_tty_impl_WinConsoleNative_waitForSingleObject(&jni, cls, handle, 0);
        sink += Java_org_tirk_terminal_tty_impl_WinConsoleNative_writeConsole(&jni, cls, handle, text, 64);
        sink += Java_org_tirk_terminal_tty_impl_WinConsoleNative_getConsoleSize(&jni, cls, handle) != nullptr;
        sink += Java_org_tirk_terminal_tty_impl_WinConsoleNative_getConsoleMode(&jni, cls, handle);
        sink += Java_org_tirk_terminal_tty_impl_WinConsoleNative_setConsoleMode(&jni, cls, handle, 7);
        sink += Java_org_tirk_terminal_tty_impl_WinConsoleNative_getConsoleOutputCP(&jni, cls);
        sink += Java_org_tirk_terminal_tty_impl_WinConsoleNative_allocConsole(&jni, cls);
        sink += Java_org_tirk_terminal_tty_impl_WinConsoleNative_freeConsole(&jni, cls);
        jni.forget();
    }
    return sink == 42 ? 1 : 0;
}
