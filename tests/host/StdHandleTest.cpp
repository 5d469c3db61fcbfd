#include "HostRig.h"

#include <climits>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using StdHandle = HostRig;

TEST_F(StdHandle, SelectorReachesThePlatformAsThe32BitPattern) {
    struct Case {
        jint which;
        const char* logged;
    } cases[] = {
        {-10, "GetStdHandle(0xfffffff6)"},
        {-11, "GetStdHandle(0xfffffff5)"},
        {-12, "GetStdHandle(0xfffffff4)"},
        {0, "GetStdHandle(0x0)"},
        {INT_MIN, "GetStdHandle(0x80000000)"},
    };
    for (const Case& c : cases) {
        console.calls.clear();
        getStdHandle(c.which);
        EXPECT_THAT(console.calls, ElementsAre(c.logged));
    }
}

TEST_F(StdHandle, BothFailureFormsBecomeMinusOne) {
    for (HANDLE failure : {HANDLE{nullptr}, INVALID_HANDLE_VALUE}) {
        console.stdHandle = failure;
        EXPECT_EQ(getStdHandle(-10), -1);
    }
}

TEST_F(StdHandle, AnyOtherHandleComesBackWithAll64Bits) {
    for (std::uint64_t value : {0x1ull, 0xFFFF'FFFF'FFFF'FFFEull, 0x7FFF'FFFF'0000'0010ull, 0x8000'0000'0000'0000ull}) {
        console.stdHandle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value));
        EXPECT_EQ(static_cast<std::uint64_t>(getStdHandle(-11)), value);
    }
    EXPECT_THAT(jni.calls, IsEmpty());
}
