// The Wine rig: tirk-console.dll loaded with LoadLibrary, each entry point resolved with
// GetProcAddress by its exported JNI name and called with a FakeJni environment, against
// the real console that Wine gives a program inside a pseudo-terminal.
#ifndef TIRK_WINE_RIG_H
#define TIRK_WINE_RIG_H

#include <windows.h>

#include "Bridge.h"
#include "FakeJni.h"
#include "InputRecords.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

// The bridge the test program loaded at start.
const Bridge& bridge();

inline jlong handleValue(HANDLE handle) {
    return static_cast<jlong>(reinterpret_cast<INT_PTR>(handle));
}

// Handles of the program's console, opened by name so that redirected standard handles
// do not matter.
HANDLE consoleInput();
HANDLE consoleOutput();

// Runs this test program again as a child with the creation `flags` and the arguments
// "--child <action>"; returns what the child wrote to its result file.
std::string runChild(const std::string& action, DWORD flags);

// Child actions, run by main() in place of the tests. Each returns the result text.
std::string childAction(const std::string& action);

class WineRig : public ::testing::Test {
protected:
    WineRig() { FlushConsoleInputBuffer(consoleInput()); }

    FakeJni jni;
    const Bridge& dll = bridge();
    jclass cls = reinterpret_cast<jclass>(INT_PTR{0x10});
    jlong input = handleValue(consoleInput());
    jlong output = handleValue(consoleOutput());

    void inject(const std::vector<INPUT_RECORD>& records) {
        DWORD written = 0;
        ASSERT_TRUE(WriteConsoleInputW(consoleInput(), records.data(), static_cast<DWORD>(records.size()), &written));
        ASSERT_EQ(written, records.size());
    }
    std::vector<jint> read() { return jni.ints(dll.readConsoleInputEvent(&jni, cls, input)); }
};

#endif
