#include "WineRig.h"

using ::testing::ElementsAre;

using StdHandle = WineRig;

TEST_F(StdHandle, StandardHandlesAreThePlatformsOwn) {
    for (jint which : {-10, -11, -12}) {
        HANDLE platform = GetStdHandle(static_cast<DWORD>(which));
        ASSERT_NE(platform, nullptr);
        ASSERT_NE(platform, INVALID_HANDLE_VALUE);
        EXPECT_EQ(dll.getStdHandle(&jni, cls, which), handleValue(platform)) << which;
    }
}

TEST_F(StdHandle, BogusSelectorGivesMinusOne) {
    for (jint which : {-13, -9, 0, 1, 12345}) {
        EXPECT_EQ(dll.getStdHandle(&jni, cls, which), -1) << which;
    }
}

TEST_F(StdHandle, ProcessWithoutConsoleGetsMinusOneNeverZero) {
    std::istringstream lines(runChild("stdhandles", DETACHED_PROCESS));
    jlong bridged = 0;
    jlong platform = 0;
    ASSERT_TRUE(lines >> bridged >> platform);
    // Without a console the platform reports no standard input at all.
    EXPECT_EQ(platform, 0);
    EXPECT_EQ(bridged, -1);
    while (lines >> bridged >> platform) {
        EXPECT_EQ(bridged, platform == 0 ? -1 : platform);
        EXPECT_NE(bridged, 0);
    }
}

TEST_F(StdHandle, MinusOneIsRefusedEvenWhereThePlatformWouldAcceptIt) {
    // To the platform -1 and -2 are the pseudo-handles of this process and this thread:
    // waiting on them would time out. The bridge refuses -1 before the call and passes -2 on.
    EXPECT_EQ(dll.waitForSingleObject(&jni, cls, -1, 0), -1);
    EXPECT_EQ(dll.waitForSingleObject(&jni, cls, -2, 0), static_cast<jint>(WAIT_TIMEOUT));
    EXPECT_EQ(WaitForSingleObject(GetCurrentProcess(), 0), WAIT_TIMEOUT);
}
