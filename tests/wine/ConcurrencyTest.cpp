#include "WineRig.h"

#include <atomic>
#include <thread>

using SideBySide = WineRig;

TEST_F(SideBySide, FourThreadsGetCorrectResultsThroughout) {
    HANDLE screen = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr);
    jlong screenHandle = handleValue(screen);
    const jint mode = dll.getConsoleMode(&jni, cls, input);
    const jint codePage = dll.getConsoleOutputCP(&jni, cls);
    const std::vector<jint> size = jni.ints(dll.getConsoleSize(&jni, cls, screenHandle));
    ASSERT_EQ(size.size(), 2u);
    std::atomic<int> wrong{0};
    auto work = [&] {
        FakeJni own;
        jcharArray text = own.newCharArray(u"side by side ");
        for (int i = 0; i < 300; ++i) {
            bool right = dll.getConsoleMode(&own, cls, input) == mode &&
                         dll.getConsoleOutputCP(&own, cls) == codePage &&
                         own.ints(dll.getConsoleSize(&own, cls, screenHandle)) == size &&
                         dll.getNumberOfConsoleInputEvents(&own, cls, input) == 0 &&
                         dll.waitForSingleObject(&own, cls, input, 0) == static_cast<jint>(WAIT_TIMEOUT) &&
                         dll.writeConsole(&own, cls, screenHandle, text, 13) == JNI_TRUE &&
                         dll.getConsoleMode(&own, cls, 0) == -1 && own.elementsHeld == 0;
            wrong += right ? 0 : 1;
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back(work);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
    CloseHandle(screen);
}
