#include "HostRig.h"

#include <functional>
#include <limits>

using ::testing::IsEmpty;

TEST(HandleRule, RefusesExactlyNullAndInvalidHandleValue) {
    struct Case {
        jlong handle;
        bool unusable;
    } cases[] = {
        {0, true},
        {-1, true},
        {1, false},
        {-2, false},
        {std::numeric_limits<jlong>::min(), false},
        {std::numeric_limits<jlong>::max(), false},
        {static_cast<jlong>(0xFFFF'8000'0000'1000ull), false},
        {0x0000'7FFE'0000'0004, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tirk::isUnusableHandle(c.handle), c.unusable) << c.handle;
    }
}

// The seven entry points that take a handle, each reduced to "did it return its failure value".
struct HandleEntry {
    const char* name;
    std::function<bool(jlong)> failed;
};

class HandleTakingEntryPoints : public HostRig {
protected:
    std::vector<HandleEntry> entries() {
        return {
            {"readConsoleInputEvent", [this](jlong h) { return readConsoleInputEvent(h) == nullptr; }},
            {"getNumberOfConsoleInputEvents", [this](jlong h) { return getNumberOfConsoleInputEvents(h) == -1; }},
            {"waitForSingleObject", [this](jlong h) { return waitForSingleObject(h, 0) == -1; }},
            {"writeConsole", [this](jlong h) { return writeConsole(h, jni.newCharArray(u"x"), 1) == JNI_FALSE; }},
            {"getConsoleSize", [this](jlong h) { return getConsoleSize(h) == nullptr; }},
            {"getConsoleMode", [this](jlong h) { return getConsoleMode(h) == -1; }},
            {"setConsoleMode", [this](jlong h) { return setConsoleMode(h, 7) == JNI_FALSE; }},
        };
    }
};

TEST_F(HandleTakingEntryPoints, UnusableHandleFailsWithNoPlatformAndNoJniCall) {
    // Scripted so that any call that did reach the platform would succeed.
    console.input.push_back(keyRecord(TRUE, 1, 0x41, u'a', 0));
    for (const HandleEntry& entry : entries()) {
        for (jlong handle : {jlong{0}, jlong{-1}}) {
            console.calls.clear();
            jni.calls.clear();
            EXPECT_TRUE(entry.failed(handle)) << entry.name << " with " << handle;
            EXPECT_THAT(console.calls, IsEmpty()) << entry.name << " with " << handle;
            EXPECT_THAT(jni.calls, IsEmpty()) << entry.name << " with " << handle;
        }
    }
}

TEST_F(HandleTakingEntryPoints, OddHandleValuesReachThePlatformUnchanged) {
    for (const HandleEntry& entry : entries()) {
        for (jlong handle : {jlong{1}, jlong{-2}, std::numeric_limits<jlong>::min(), jlong{0x7FFF'FFFF'0000'0010}}) {
            console.calls.clear();
            entry.failed(handle);
            ASSERT_EQ(console.calls.size(), 1u) << entry.name;
            EXPECT_THAT(console.calls[0], ::testing::HasSubstr("(" + standin::hex(static_cast<std::uint64_t>(handle))))
                << entry.name;
        }
    }
}
