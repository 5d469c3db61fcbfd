#include "HostRig.h"

#include <climits>

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

std::vector<jint> encode(const INPUT_RECORD& record) {
    jint values[tirk::maxInputEventLength];
    jsize length = tirk::encodeInputEvent(record, values);
    return std::vector<jint>(values, values + length);
}

}  // namespace

TEST(InputEventEncoding, EachReportedKindHasItsLayout) {
    struct Case {
        const char* name;
        INPUT_RECORD record;
        std::vector<jint> expected;
    } cases[] = {
        {"key down", keyRecord(TRUE, 2, 0x41, u'a', 0x10), {1, 1, 2, 0x41, 'a', 0x10}},
        {"key up", keyRecord(FALSE, 1, 0x41, u'a', 0), {1, 0, 1, 0x41, 'a', 0}},
        {"key without character", keyRecord(TRUE, 1, 0x26, 0, 0x100), {1, 1, 1, 0x26, 0, 0x100}},
        {"all 16-bit fields set", keyRecord(TRUE, 0xFFFF, 0xFFFF, 0xFFFF, 0), {1, 1, 65535, 65535, 65535, 0}},
        {"control keys top bit", keyRecord(TRUE, 1, 0x10, 0, 0x8000'0001u), {1, 1, 1, 0x10, 0, INT_MIN + 1}},
        {"mouse top-left", mouseRecord(0, 0, 1, 0, 0), {2, 0, 0, 1, 0, 0}},
        {"mouse negative", mouseRecord(-1, -32768, 0, 0, 0), {2, -1, -32768, 0, 0, 0}},
        {"wheel back", mouseRecord(3, 4, 0xFF88'0000u, 0x8000'0000u, 4), {2, 3, 4, -7864320, INT_MIN, 4}},
        {"resize", windowRecord(120, 9001), {4, 120, 9001}},
        {"resize negative", windowRecord(-2, -32768), {4, -2, -32768}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(encode(c.record), c.expected) << c.name;
    }
}

TEST(InputEventEncoding, UnreportedKindsGiveNoValues) {
    for (WORD kind : {WORD{FOCUS_EVENT}, WORD{MENU_EVENT}, WORD{0}, WORD{3}, WORD{0x20}, WORD{0x8001}, WORD{0xFFFF}}) {
        EXPECT_THAT(encode(otherRecord(kind)), IsEmpty()) << kind;
    }
}

TEST(InputEventEncoding, AnyNonZeroKeyDownGivesOne) {
    for (BOOL down : {1, 2, 7, 0x100, -1, INT_MIN, INT_MAX}) {
        EXPECT_EQ(encode(keyRecord(down, 1, 0, 0, 0))[1], 1) << down;
    }
    EXPECT_EQ(encode(keyRecord(0, 1, 0, 0, 0))[1], 0);
}

TEST(InputEventEncoding, EveryCharacterAndKeyCodeComesOutNonNegativeAndEqual) {
    for (std::uint32_t unit = 0; unit <= 0xFFFF; ++unit) {
        auto values = encode(keyRecord(TRUE, static_cast<WORD>(unit), static_cast<WORD>(unit), static_cast<WCHAR>(unit), 0));
        ASSERT_EQ(values[2], static_cast<jint>(unit));
        ASSERT_EQ(values[3], static_cast<jint>(unit));
        ASSERT_EQ(values[4], static_cast<jint>(unit));
    }
}

TEST(InputEventEncoding, EveryCoordinateAndSizeSignExtends) {
    for (jint value = SHRT_MIN; value <= SHRT_MAX; ++value) {
        auto s = static_cast<SHORT>(value);
        ASSERT_THAT(encode(mouseRecord(s, s, 0, 0, 0)), ElementsAre(2, value, value, 0, 0, 0));
        ASSERT_THAT(encode(windowRecord(s, s)), ElementsAre(4, value, value));
    }
}

using ReadConsoleInputEvent = HostRig;

TEST_F(ReadConsoleInputEvent, ReadsOneRecordIntoOneArrayWithOneCopy) {
    struct Case {
        INPUT_RECORD record;
        jsize length;
    } cases[] = {
        {keyRecord(TRUE, 1, 0x41, u'a', 0), 6},
        {mouseRecord(1, 2, 0, 0, 1), 6},
        {windowRecord(80, 25), 3},
    };
    for (const Case& c : cases) {
        console.calls.clear();
        jni.calls.clear();
        console.input.push_back(c.record);
        jintArray array = readConsoleInputEvent(someHandle);
        EXPECT_THAT(console.calls, ElementsAre("ReadConsoleInputW(0x1234, 1)"));
        std::string length = std::to_string(c.length);
        EXPECT_THAT(jni.calls, ElementsAre("NewIntArray(" + length + ")", "SetIntArrayRegion(0, " + length + ")"));
        EXPECT_EQ(jni.ints(array), encode(c.record));
    }
}

TEST_F(ReadConsoleInputEvent, UnreportedRecordIsConsumedAndNextReadGivesTheFollowing) {
    console.input = {otherRecord(FOCUS_EVENT), otherRecord(MENU_EVENT), keyRecord(TRUE, 1, 0x42, u'b', 0)};
    EXPECT_EQ(readConsoleInputEvent(someHandle), nullptr);
    EXPECT_EQ(readConsoleInputEvent(someHandle), nullptr);
    EXPECT_THAT(jni.calls, IsEmpty());
    EXPECT_THAT(jni.ints(readConsoleInputEvent(someHandle)), ElementsAre(1, 1, 1, 0x42, 'b', 0));
}

TEST_F(ReadConsoleInputEvent, FailedOrEmptyReadGivesNullWithoutJniCall) {
    // A failing stand-in read claims one key record in its out-parameters.
    console.result = FALSE;
    console.input.push_back(keyRecord(TRUE, 1, 0x41, u'a', 0));
    EXPECT_EQ(readConsoleInputEvent(someHandle), nullptr);
    console.result = TRUE;
    console.input.clear();
    EXPECT_EQ(readConsoleInputEvent(someHandle), nullptr);
    EXPECT_THAT(jni.calls, IsEmpty());
}

TEST_F(ReadConsoleInputEvent, FailedAllocationGivesNullAfterOneJniCallAndConsumesTheRecord) {
    jni.failNewIntArray = true;
    console.input.push_back(mouseRecord(1, 1, 0, 0, 0));
    EXPECT_EQ(readConsoleInputEvent(someHandle), nullptr);
    EXPECT_THAT(jni.calls, ElementsAre("NewIntArray(6)"));
    EXPECT_THAT(console.input, IsEmpty());
}

using CountAndWait = HostRig;

TEST_F(CountAndWait, CountPassesThroughAs32Bits) {
    for (DWORD count : {0u, 1u, 500u, 0x8000'0000u}) {
        console.count = count;
        EXPECT_EQ(getNumberOfConsoleInputEvents(someHandle), static_cast<jint>(count));
    }
    console.result = FALSE;
    EXPECT_EQ(getNumberOfConsoleInputEvents(someHandle), -1);
}

TEST_F(CountAndWait, WaitPassesTimeOutAndResultThrough) {
    struct Case {
        jint milliseconds;
        DWORD result;
        const char* logged;
        jint expected;
    } cases[] = {
        {0, WAIT_TIMEOUT, "WaitForSingleObject(0x1234, 0x0)", 258},
        {-1, WAIT_OBJECT_0, "WaitForSingleObject(0x1234, 0xffffffff)", 0},
        {INT_MIN, WAIT_ABANDONED, "WaitForSingleObject(0x1234, 0x80000000)", 128},
        {100, WAIT_FAILED, "WaitForSingleObject(0x1234, 0x64)", -1},
    };
    for (const Case& c : cases) {
        console.calls.clear();
        console.waitResult = c.result;
        EXPECT_EQ(waitForSingleObject(someHandle, c.milliseconds), c.expected);
        EXPECT_THAT(console.calls, ElementsAre(c.logged));
    }
    EXPECT_THAT(jni.calls, IsEmpty());
}
