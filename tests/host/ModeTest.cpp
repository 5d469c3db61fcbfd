#include "HostRig.h"

#include <climits>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using Modes = HostRig;

TEST_F(Modes, GetConsoleModePassesTheBitPatternThrough) {
    for (DWORD mode : {0u, 0x1F7u, 0x8000'0007u, 0xFFFF'FFFEu}) {
        console.mode = mode;
        EXPECT_EQ(getConsoleMode(someHandle), static_cast<jint>(mode));
    }
    console.result = FALSE;
    EXPECT_EQ(getConsoleMode(someHandle), -1);
}

TEST_F(Modes, SetConsoleModeSendsThe32BitPattern) {
    setConsoleMode(someHandle, static_cast<jint>(0x8000'0007u));
    setConsoleMode(someHandle, 0);
    EXPECT_THAT(console.calls, ElementsAre("SetConsoleMode(0x1234, 0x80000007)", "SetConsoleMode(0x1234, 0x0)"));
}

TEST_F(Modes, OutputCodePageZeroBecomesMinusOne) {
    struct Case {
        UINT codePage;
        jint expected;
    } cases[] = {{0, -1}, {437, 437}, {65001, 65001}, {0x8000'0000u, INT_MIN}};
    for (const Case& c : cases) {
        console.codePage = c.codePage;
        EXPECT_EQ(getConsoleOutputCP(), c.expected);
    }
}

TEST_F(Modes, BooleanResultsAreExactlyOneOrZero) {
    struct Case {
        BOOL platform;
        jboolean expected;
    } cases[] = {{TRUE, 1}, {7, 1}, {-1, 1}, {INT_MIN, 1}, {0x100, 1}, {FALSE, 0}};
    for (const Case& c : cases) {
        console.result = c.platform;
        EXPECT_EQ(setConsoleMode(someHandle, 3), c.expected) << c.platform;
        EXPECT_EQ(allocConsole(), c.expected) << c.platform;
        EXPECT_EQ(freeConsole(), c.expected) << c.platform;
        EXPECT_THAT(jni.calls, IsEmpty());
        // A complete write is true for any non-zero BOOL the platform returns.
        EXPECT_EQ(writeConsole(someHandle, jni.newCharArray(u"abc"), 3), c.expected) << c.platform;
        jni.calls.clear();
    }
}
