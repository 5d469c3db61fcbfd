#include "WineRig.h"

using ConsoleModes = WineRig;

TEST_F(ConsoleModes, LineInputAndEchoSwitchOffAndBack) {
    jint saved = dll.getConsoleMode(&jni, cls, input);
    ASSERT_NE(saved, -1);
    ASSERT_TRUE(saved & ENABLE_LINE_INPUT);
    jint raw = saved & ~(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT);
    EXPECT_EQ(dll.setConsoleMode(&jni, cls, input, raw), JNI_TRUE);
    EXPECT_EQ(dll.getConsoleMode(&jni, cls, input), raw);
    DWORD platform = 0;
    GetConsoleMode(consoleInput(), &platform);
    EXPECT_EQ(static_cast<jint>(platform), raw);
    EXPECT_EQ(dll.setConsoleMode(&jni, cls, input, saved), JNI_TRUE);
    EXPECT_EQ(dll.getConsoleMode(&jni, cls, input), saved);
}

TEST_F(ConsoleModes, OutputModeRoundTrips) {
    jint saved = dll.getConsoleMode(&jni, cls, output);
    ASSERT_NE(saved, -1);
    EXPECT_EQ(dll.setConsoleMode(&jni, cls, output, saved), JNI_TRUE);
    EXPECT_EQ(dll.getConsoleMode(&jni, cls, output), saved);
}

TEST_F(ConsoleModes, NonConsoleHandlesAreRefusedByThePlatform) {
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    EXPECT_EQ(dll.getConsoleMode(&jni, cls, handleValue(readEnd)), -1);
    EXPECT_EQ(dll.setConsoleMode(&jni, cls, handleValue(writeEnd), ENABLE_PROCESSED_OUTPUT), JNI_FALSE);
    EXPECT_EQ(dll.writeConsole(&jni, cls, handleValue(writeEnd), jni.newCharArray(u"x"), 1), JNI_FALSE);
    CloseHandle(readEnd);
    CloseHandle(writeEnd);
}

TEST_F(ConsoleModes, OutputCodePageIsThePlatformsAndNeverZero) {
    jint codePage = dll.getConsoleOutputCP(&jni, cls);
    EXPECT_EQ(codePage, static_cast<jint>(GetConsoleOutputCP()));
    EXPECT_GT(codePage, 0);
}

TEST_F(ConsoleModes, AllocAndFreeInAProcessWithoutConsole) {
    // allocConsole twice, then freeConsole: only the first allocation succeeds. What
    // freeing again without a console gives is the platform's choice: the bridge's answer
    // must equal a direct FreeConsole in the same state (the last two digits).
    std::string results = runChild("alloc-free", DETACHED_PROCESS);
    ASSERT_EQ(results.size(), 5u) << results;
    EXPECT_EQ(results.substr(0, 3), "101");
    EXPECT_EQ(results[3], results[4]);
}

TEST_F(ConsoleModes, AllocConsoleFailsWhereAConsoleIsAttached) {
    EXPECT_EQ(dll.allocConsole(&jni, cls), JNI_FALSE);
}
