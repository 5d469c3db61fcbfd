#include "WineRig.h"

using ::testing::ElementsAre;

namespace {

// A screen buffer of its own, so that what a test writes is all that is on it.
struct ScreenBuffer {
    HANDLE handle = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr);
    ~ScreenBuffer() { CloseHandle(handle); }

    std::wstring row(SHORT y, DWORD length) const {
        std::wstring text(length, L'?');
        DWORD read = 0;
        ReadConsoleOutputCharacterW(handle, text.data(), length, COORD{0, y}, &read);
        text.resize(read);
        return text;
    }
};

}  // namespace

using ConsoleOutput = WineRig;

TEST_F(ConsoleOutput, WrittenTextReadsBackFromTheScreen) {
    ScreenBuffer screen;
    ASSERT_NE(screen.handle, INVALID_HANDLE_VALUE);
    std::u16string text = u"h\u00e9llo w\u00f6rld \u03b1\u0416!";
    jcharArray chars = jni.newCharArray(text + u"NOT THIS");
    EXPECT_EQ(dll.writeConsole(&jni, cls, handleValue(screen.handle), chars, static_cast<jint>(text.size())), JNI_TRUE);
    EXPECT_EQ(screen.row(0, 20), L"h\u00e9llo w\u00f6rld \u03b1\u0416!     ");
    EXPECT_EQ(jni.elementsHeld, 0);
}

TEST_F(ConsoleOutput, ZeroLengthAndWholeArrayAreWrittenOneMoreIsNot) {
    ScreenBuffer screen;
    jlong handle = handleValue(screen.handle);
    jcharArray chars = jni.newCharArray(u"abc");
    EXPECT_EQ(dll.writeConsole(&jni, cls, handle, chars, 0), JNI_TRUE);
    EXPECT_EQ(dll.writeConsole(&jni, cls, handle, chars, 4), JNI_FALSE);
    EXPECT_EQ(dll.writeConsole(&jni, cls, handle, chars, 3), JNI_TRUE);
    EXPECT_EQ(screen.row(0, 5), L"abc  ");
}

TEST_F(ConsoleOutput, WriteToAFileFailsAndWritesNothing) {
    wchar_t folder[MAX_PATH];
    wchar_t path[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"trk", 0, path);
    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(dll.writeConsole(&jni, cls, handleValue(file), jni.newCharArray(u"text"), 4), JNI_FALSE);
    EXPECT_EQ(GetFileSize(file, nullptr), 0u);
    EXPECT_EQ(jni.elementsHeld, 0);
    CloseHandle(file);
    DeleteFileW(path);
}

TEST_F(ConsoleOutput, SizeIsTheVisibleWindow) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    ASSERT_TRUE(GetConsoleScreenBufferInfo(consoleOutput(), &info));
    EXPECT_THAT(jni.ints(dll.getConsoleSize(&jni, cls, output)),
                ElementsAre(info.srWindow.Right - info.srWindow.Left + 1, info.srWindow.Bottom - info.srWindow.Top + 1));
}

TEST_F(ConsoleOutput, SizeIsUnchangedWhenTheWindowScrollsDownATallerBuffer) {
    ScreenBuffer screen;
    ASSERT_TRUE(SetConsoleScreenBufferSize(screen.handle, COORD{100, 2000}));
    SMALL_RECT top{0, 0, 79, 23};
    ASSERT_TRUE(SetConsoleWindowInfo(screen.handle, TRUE, &top));
    std::vector<jint> atTop = jni.ints(dll.getConsoleSize(&jni, cls, handleValue(screen.handle)));
    SMALL_RECT scrolled{0, 1500, 79, 1523};
    ASSERT_TRUE(SetConsoleWindowInfo(screen.handle, TRUE, &scrolled));
    CONSOLE_SCREEN_BUFFER_INFO info;
    ASSERT_TRUE(GetConsoleScreenBufferInfo(screen.handle, &info));
    ASSERT_EQ(info.srWindow.Top, 1500);
    EXPECT_THAT(atTop, ElementsAre(80, 24));
    EXPECT_EQ(jni.ints(dll.getConsoleSize(&jni, cls, handleValue(screen.handle))), atTop);
}

TEST_F(ConsoleOutput, InputHandleHasNoSize) {
    EXPECT_EQ(dll.getConsoleSize(&jni, cls, input), nullptr);
    EXPECT_TRUE(jni.calls.empty());
}
