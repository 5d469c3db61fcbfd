#include "WineRig.h"

#include <chrono>
#include <climits>
#include <future>
#include <thread>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using ConsoleInput = WineRig;

TEST_F(ConsoleInput, InjectedRecordsReadBackOneByOne) {
    struct Case {
        const char* name;
        INPUT_RECORD record;
        std::vector<jint> expected;
    } cases[] = {
        {"key down 7", keyRecord(7, 1, 0x41, L'a', 0), {1, 1, 1, 0x41, 'a', 0}},
        {"key up", keyRecord(FALSE, 1, 0x41, L'a', SHIFT_PRESSED), {1, 0, 1, 0x41, 'a', SHIFT_PRESSED}},
        {"surrogate half", keyRecord(TRUE, 1, 0, 0xD83D, 0), {1, 1, 1, 0, 0xD83D, 0}},
        {"all 16-bit fields set", keyRecord(TRUE, 0xFFFF, 0xFFFF, 0xFFFF, 0), {1, 1, 65535, 65535, 65535, 0}},
        {"mouse top-left", mouseRecord(0, 0, FROM_LEFT_1ST_BUTTON_PRESSED, 0, 0), {2, 0, 0, 1, 0, 0}},
        {"mouse negative wheel", mouseRecord(-3, -1, 0xFF88'0000u, LEFT_CTRL_PRESSED, MOUSE_WHEELED),
         {2, -3, -1, -7864320, LEFT_CTRL_PRESSED, MOUSE_WHEELED}},
        {"resize", windowRecord(100, 40), {4, 100, 40}},
    };
    std::vector<INPUT_RECORD> records;
    for (const Case& c : cases) {
        records.push_back(c.record);
    }
    inject(records);
    for (const Case& c : cases) {
        EXPECT_EQ(read(), c.expected) << c.name;
    }
    EXPECT_EQ(dll.getNumberOfConsoleInputEvents(&jni, cls, input), 0);
}

TEST_F(ConsoleInput, FocusAndMenuRecordsGiveNullAndTheNextReadGivesTheFollowing) {
    inject({otherRecord(FOCUS_EVENT), otherRecord(MENU_EVENT), keyRecord(TRUE, 1, 0x42, L'b', 0)});
    EXPECT_EQ(dll.readConsoleInputEvent(&jni, cls, input), nullptr);
    EXPECT_EQ(dll.readConsoleInputEvent(&jni, cls, input), nullptr);
    EXPECT_THAT(read(), ElementsAre(1, 1, 1, 0x42, 'b', 0));
}

TEST_F(ConsoleInput, CountingAndWaitingTakeNothing) {
    EXPECT_EQ(dll.getNumberOfConsoleInputEvents(&jni, cls, input), 0);
    EXPECT_EQ(dll.waitForSingleObject(&jni, cls, input, 0), static_cast<jint>(WAIT_TIMEOUT));
    inject({keyRecord(TRUE, 1, 0x43, L'c', 0), keyRecord(FALSE, 1, 0x43, L'c', 0)});
    EXPECT_EQ(dll.getNumberOfConsoleInputEvents(&jni, cls, input), 2);
    EXPECT_EQ(dll.getNumberOfConsoleInputEvents(&jni, cls, input), 2);
    EXPECT_EQ(dll.waitForSingleObject(&jni, cls, input, 0), static_cast<jint>(WAIT_OBJECT_0));
    EXPECT_EQ(dll.waitForSingleObject(&jni, cls, input, -1), static_cast<jint>(WAIT_OBJECT_0));
    EXPECT_THAT(read(), ElementsAre(1, 1, 1, 0x43, 'c', 0));
    EXPECT_EQ(dll.getNumberOfConsoleInputEvents(&jni, cls, input), 1);
}

TEST_F(ConsoleInput, ReadOnEmptyBufferBlocksOnlyItsThreadAndWakesOnInput) {
    auto reader = std::async(std::launch::async, [this] {
        FakeJni own;
        return own.ints(dll.readConsoleInputEvent(&own, cls, input));
    });
    EXPECT_EQ(reader.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    // This thread goes on calling the bridge while the reader waits.
    EXPECT_EQ(dll.getNumberOfConsoleInputEvents(&jni, cls, input), 0);
    inject({windowRecord(81, 26)});
    ASSERT_EQ(reader.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_THAT(reader.get(), ElementsAre(4, 81, 26));
}

TEST_F(ConsoleInput, HandlesThePlatformRefusesGiveFailureValues) {
    HANDLE output = consoleOutput();
    EXPECT_EQ(dll.getNumberOfConsoleInputEvents(&jni, cls, handleValue(output)), -1);
    EXPECT_EQ(dll.readConsoleInputEvent(&jni, cls, handleValue(output)), nullptr);
    EXPECT_EQ(dll.getNumberOfConsoleInputEvents(&jni, cls, 1), -1);
    EXPECT_EQ(dll.waitForSingleObject(&jni, cls, 1, 0), static_cast<jint>(WAIT_FAILED));
    EXPECT_THAT(jni.calls, IsEmpty());
}
