#include "HostRig.h"

#include <cstdint>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using WriteConsole = HostRig;

TEST_F(WriteConsole, ArgumentChecksComeInOrderAndRefuseBeforeAnyWrite) {
    struct Case {
        const char* name;
        bool nullArray;
        jint length;
        std::vector<std::string> jniCalls;
    } cases[] = {
        {"null array", true, 0, {}},
        {"negative length", false, -1, {}},
        {"most negative length", false, INT32_MIN, {}},
        {"one past the array", false, 4, {"GetArrayLength"}},
        {"far past the array", false, INT32_MAX, {"GetArrayLength"}},
    };
    for (const Case& c : cases) {
        jni.calls.clear();
        jcharArray chars = c.nullArray ? nullptr : jni.newCharArray(u"abc");
        EXPECT_EQ(writeConsole(someHandle, chars, c.length), JNI_FALSE) << c.name;
        EXPECT_EQ(jni.calls, c.jniCalls) << c.name;
    }
    EXPECT_THAT(console.calls, IsEmpty());
}

TEST_F(WriteConsole, WritesThePrefixUnchangedAndReleasesWithAbort) {
    const std::u16string text = u"h\u00e9llo \U0001F600\uFFFF";
    struct Case {
        jint length;
        std::u16string written;
    } cases[] = {
        {0, u""},
        {1, u"h"},
        {static_cast<jint>(text.size()), text},
    };
    for (const Case& c : cases) {
        console.sequence.clear();
        console.written.clear();
        EXPECT_EQ(writeConsole(someHandle, jni.newCharArray(text), c.length), JNI_TRUE);
        EXPECT_EQ(console.written, c.written);
        // The elements are released only after the platform has written them.
        EXPECT_THAT(console.sequence, ElementsAre("GetArrayLength", "GetCharArrayElements(null)",
                                                  "WriteConsoleW(0x1234, " + std::to_string(c.length) + ", null)",
                                                  "ReleaseCharArrayElements(JNI_ABORT)"));
    }
    EXPECT_EQ(jni.elementsHeld, 0);
    EXPECT_FALSE(jni.elementsChanged);
}

TEST_F(WriteConsole, EmptyArrayWithZeroLengthIsWritten) {
    EXPECT_EQ(writeConsole(someHandle, jni.newCharArray(u""), 0), JNI_TRUE);
    EXPECT_THAT(console.calls, ElementsAre("WriteConsoleW(0x1234, 0, null)"));
}

TEST_F(WriteConsole, MissingElementsGiveFalseWithNoReleaseAndNoWrite) {
    jni.failGetCharArrayElements = true;
    EXPECT_EQ(writeConsole(someHandle, jni.newCharArray(u"abc"), 3), JNI_FALSE);
    EXPECT_THAT(jni.calls, ElementsAre("GetArrayLength", "GetCharArrayElements(null)"));
    EXPECT_THAT(console.calls, IsEmpty());
}

TEST_F(WriteConsole, FailedAndShortWritesReleaseAndGiveFalse) {
    struct Case {
        const char* name;
        BOOL result;
        DWORD writeLimit;
    } cases[] = {
        {"failed", FALSE, 0xFFFFFFFFu},
        {"short", TRUE, 3},
        {"nothing written", TRUE, 0},
    };
    for (const Case& c : cases) {
        jni.calls.clear();
        console.result = c.result;
        console.writeLimit = c.writeLimit;
        EXPECT_EQ(writeConsole(someHandle, jni.newCharArray(u"abcdef"), 6), JNI_FALSE) << c.name;
        EXPECT_THAT(jni.calls, ElementsAre("GetArrayLength", "GetCharArrayElements(null)",
                                           "ReleaseCharArrayElements(JNI_ABORT)"))
            << c.name;
    }
    EXPECT_EQ(jni.elementsHeld, 0);
}

TEST(ConsoleSizeEncoding, VisibleWindowNotBuffer) {
    struct Case {
        SMALL_RECT window;
        jint columns, rows;
    } cases[] = {
        {{0, 0, 119, 29}, 120, 30},
        {{0, 9000, 119, 9029}, 120, 30},
        {{-5, -5, 4, 4}, 10, 10},
        {{-32768, -32768, 32767, 32767}, 65536, 65536},
        {{0, 0, 0, 0}, 1, 1},
    };
    for (const Case& c : cases) {
        jint values[tirk::consoleSizeLength];
        tirk::encodeConsoleSize(c.window, values);
        EXPECT_THAT(values, ElementsAre(c.columns, c.rows));
    }
}

using GetConsoleSize = HostRig;

TEST_F(GetConsoleSize, ReportsTheVisibleWindowInOneArray) {
    console.bufferInfo.dwSize = COORD{120, 9999};
    console.bufferInfo.srWindow = SMALL_RECT{0, 9000, 119, 9029};
    EXPECT_THAT(jni.ints(getConsoleSize(someHandle)), ElementsAre(120, 30));
    EXPECT_THAT(console.calls, ElementsAre("GetConsoleScreenBufferInfo(0x1234)"));
    EXPECT_THAT(jni.calls, ElementsAre("NewIntArray(2)", "SetIntArrayRegion(0, 2)"));
}

TEST_F(GetConsoleSize, RefusedHandleGivesNullWithoutJniCall) {
    console.result = FALSE;
    EXPECT_EQ(getConsoleSize(someHandle), nullptr);
    EXPECT_THAT(jni.calls, IsEmpty());
}

TEST_F(GetConsoleSize, FailedAllocationGivesNullAfterOneJniCall) {
    jni.failNewIntArray = true;
    EXPECT_EQ(getConsoleSize(someHandle), nullptr);
    EXPECT_THAT(jni.calls, ElementsAre("NewIntArray(2)"));
}
