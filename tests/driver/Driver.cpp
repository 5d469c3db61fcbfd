// Drives tirk-console.dll through its exported entry points with no C runtime at all, on
// x86-64 and on ARM64 (each under Wine; ARM64's under qemu; and on Windows itself). It proves
// what must hold on each architecture's calling convention: argument and result passing of every
// entry point, the handle rule on 64-bit values, the record layouts against a real console,
// allocation in a process without a console; and, with the console host playing the user, what
// only a console of its own shows: a typed key, a resize and letters written to it.
//
// Usage: driver DLL REPORT CONSOLE
//                              one line per check appended to REPORT ("ok NAME", "FAILED NAME:
//                              DETAIL" or "skipped NAME: WHY"), and among them the requests the
//                              console host answers: "type k", "resize 96 32", "shows TEXT";
//                              CONSOLE is the console host's MODE: classic, or a pseudo console's size
//        driver DLL --child    run without a console or standard input: writes seven digits to
//                              standard output (see allocationInAChild)
#include <windows.h>
#include <jni.h>

#include "Bridge.h"
#include "InputRecords.h"
#include "Win32Program.h"

namespace {

void checkEqual(const char* name, long long actual, long long expected) {
    Line detail;
    detail << "got " << actual << ", expected " << expected;
    check(name, actual == expected, detail);
}

// ---- A JNI environment with only the five functions the library may call filled in; every
// other slot is null, so an unexpected JNI call crashes the driver.

constexpr jsize maxIntArray = 8;
constexpr jsize maxChars = 64;
constexpr jint noRelease = 99;

struct IntArray {
    jsize length;
    jint values[maxIntArray];
};

struct CharArray {
    jsize length;
    jchar chars[maxChars];
};

struct Journal {
    int calls;            // JNI calls since the last reset
    jint releaseMode;     // mode of the last ReleaseCharArrayElements, or noRelease
    bool elementsHeld;    // GetCharArrayElements not yet released
    IntArray arrays[4];
    int arraysUsed;
    jchar elements[maxChars];
} journal;

void resetJournal() {
    journal.calls = 0;
    journal.releaseMode = noRelease;
    journal.elementsHeld = false;
    journal.arraysUsed = 0;
}

jintArray JNICALL newIntArray(JNIEnv*, jsize length) {
    ++journal.calls;
    if (length < 0 || length > maxIntArray || journal.arraysUsed == 4) {
        return nullptr;
    }
    IntArray& array = journal.arrays[journal.arraysUsed++];
    array.length = length;
    for (jint& value : array.values) {
        value = 0x5EED;
    }
    return reinterpret_cast<jintArray>(&array);
}

void JNICALL setIntArrayRegion(JNIEnv*, jintArray target, jsize start, jsize length, const jint* values) {
    ++journal.calls;
    IntArray& array = *reinterpret_cast<IntArray*>(target);
    for (jsize i = 0; i < length && start + i < array.length; ++i) {
        array.values[start + i] = values[i];
    }
}

jsize JNICALL getArrayLength(JNIEnv*, jarray array) {
    ++journal.calls;
    return reinterpret_cast<CharArray*>(array)->length;
}

// Hands out a copy, as a virtual machine that does not pin would.
jchar* JNICALL getCharArrayElements(JNIEnv*, jcharArray array, jboolean*) {
    ++journal.calls;
    const CharArray& chars = *reinterpret_cast<CharArray*>(array);
    for (jsize i = 0; i < chars.length; ++i) {
        journal.elements[i] = chars.chars[i];
    }
    journal.elementsHeld = true;
    return journal.elements;
}

// Spoils the copy, as a virtual machine that frees it may, so that text read after the
// release shows.
void JNICALL releaseCharArrayElements(JNIEnv*, jcharArray, jchar* elements, jint mode) {
    ++journal.calls;
    journal.releaseMode = mode;
    journal.elementsHeld = false;
    for (jsize i = 0; i < maxChars; ++i) {
        elements[i] = 0xDEAD;
    }
}

JNINativeInterface_ table;
JNIEnv_ env;
// Every entry point ignores its class argument; any non-null value will do. (Set in run():
// with no runtime, nothing initialises globals that need code.)
jclass cls;
// Whether the console is a pseudo console, as its host says.
bool pseudo;

jcharArray charArray(CharArray& storage, const wchar_t* text) {
    storage.length = 0;
    while (text[storage.length] != 0) {
        storage.chars[storage.length] = static_cast<jchar>(text[storage.length]);
        ++storage.length;
    }
    return reinterpret_cast<jcharArray>(&storage);
}

// "[1, 2, 3]" or "null"
void describe(Line& line, jintArray array) {
    if (array == nullptr) {
        line << "null";
        return;
    }
    const IntArray& ints = *reinterpret_cast<IntArray*>(array);
    line << "[";
    for (jsize i = 0; i < ints.length; ++i) {
        line << (i == 0 ? "" : ", ") << static_cast<long long>(ints.values[i]);
    }
    line << "]";
}

bool arrayIs(jintArray array, const jint* expected, jsize length) {
    if (array == nullptr) {
        return expected == nullptr;
    }
    const IntArray& ints = *reinterpret_cast<IntArray*>(array);
    if (expected == nullptr || ints.length != length) {
        return false;
    }
    for (jsize i = 0; i < length; ++i) {
        if (ints.values[i] != expected[i]) {
            return false;
        }
    }
    return true;
}

void checkArray(const char* name, jintArray actual, const jint* expected, jsize length) {
    Line detail;
    detail << "got ";
    describe(detail, actual);
    check(name, arrayIs(actual, expected, length), detail);
}

// ---- The library, by its exported names.

Bridge dll;

HMODULE load(const wchar_t* path) {
    HMODULE module = LoadLibraryW(path);
    const char* missing = module == nullptr ? "the DLL" : resolveBridge(module, dll);
    if (missing != nullptr) {
        Line line;
        line << missing << " is missing";
        line.writeTo(checks);
    }
    return missing == nullptr ? module : nullptr;
}

const char* machineName(USHORT machine) {
    return machine == IMAGE_FILE_MACHINE_AMD64 ? "x86-64" : machine == IMAGE_FILE_MACHINE_ARM64 ? "arm64" : "another";
}

// Windows on ARM64 runs x86-64 programs too, so a run that proves ARM64 must show that the DLL it
// loaded is built for the machine itself.
void machine(HMODULE module) {
    const auto* image = reinterpret_cast<const BYTE*>(module);
    USHORT built = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + reinterpret_cast<const IMAGE_DOS_HEADER*>(image)
                                                                          ->e_lfanew)->FileHeader.Machine;
    USHORT process = 0;
    USHORT native = 0;
    IsWow64Process2(GetCurrentProcess(), &process, &native);
    Line name;
    name << "the DLL is built for " << machineName(built) << ", the machine's own";
    Line detail;
    detail << "the machine is " << machineName(native);
    check(name.text, built == native, detail);
}

jlong value(HANDLE handle) {
    return static_cast<jlong>(reinterpret_cast<INT_PTR>(handle));
}

HANDLE open(const wchar_t* name) {
    return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

// ---- The checks.

void handleRule(HANDLE input, HANDLE output) {
    // Each entry point that takes a handle, reduced to "did it return its failure value".
    struct Entry {
        const char* name;
        bool (*failed)(jlong);
    } entries[] = {
        {"readConsoleInputEvent", [](jlong h) { return dll.readConsoleInputEvent(&env, cls, h) == nullptr; }},
        {"getNumberOfConsoleInputEvents", [](jlong h) { return dll.getNumberOfConsoleInputEvents(&env, cls, h) == -1; }},
        {"waitForSingleObject", [](jlong h) { return dll.waitForSingleObject(&env, cls, h, 0) == -1; }},
        {"writeConsole", [](jlong h) {
             CharArray storage;
             return dll.writeConsole(&env, cls, h, charArray(storage, L"x"), 1) == JNI_FALSE;
         }},
        {"getConsoleSize", [](jlong h) { return dll.getConsoleSize(&env, cls, h) == nullptr; }},
        {"getConsoleMode", [](jlong h) { return dll.getConsoleMode(&env, cls, h) == -1; }},
        {"setConsoleMode", [](jlong h) { return dll.setConsoleMode(&env, cls, h, 0) == JNI_FALSE; }},
    };
    for (const Entry& entry : entries) {
        const jlong unusables[] = {0, -1};
        for (jlong unusable : unusables) {
            resetJournal();
            Line name;
            name << entry.name << "(" << unusable << ") fails without a JNI call";
            bool failed = entry.failed(unusable);
            check(name.text, failed && journal.calls == 0);
        }
    }
    // -2 is the pseudo-handle of the current thread: not refused, and not signalled.
    checkEqual("handle -2 reaches the platform", dll.waitForSingleObject(&env, cls, -2, 0), WAIT_TIMEOUT);
    checkEqual("getStdHandle(-10) is the platform's 64-bit value", dll.getStdHandle(&env, cls, -10),
               value(GetStdHandle(STD_INPUT_HANDLE)));
    checkEqual("getStdHandle(-11) is the platform's 64-bit value", dll.getStdHandle(&env, cls, -11),
               value(GetStdHandle(STD_OUTPUT_HANDLE)));
    checkEqual("getStdHandle(-12) is the platform's 64-bit value", dll.getStdHandle(&env, cls, -12),
               value(GetStdHandle(STD_ERROR_HANDLE)));
    checkEqual("getStdHandle of a bogus selector is -1", dll.getStdHandle(&env, cls, 12345), -1);
    checkEqual("an output handle is not an input buffer", dll.getNumberOfConsoleInputEvents(&env, cls, value(output)),
               -1);
    check("a console input handle is usable", dll.getConsoleMode(&env, cls, value(input)) != -1);
}

void records(HANDLE input) {
    struct Case {
        const char* name;
        INPUT_RECORD record;
        jint expected[6];
        jsize length;  // 0: null
    } cases[] = {
        {"key with bKeyDown 7 reads as down", keyRecord(7, 1, 0x41, L'a', 0), {1, 1, 1, 0x41, 'a', 0}, 6},
        {"key up", keyRecord(FALSE, 2, 0x41, L'A', SHIFT_PRESSED), {1, 0, 2, 0x41, 'A', SHIFT_PRESSED}, 6},
        {"surrogate half stays positive", keyRecord(TRUE, 1, 0, 0xD83D, 0), {1, 1, 1, 0, 0xD83D, 0}, 6},
        {"16-bit fields zero-extend", keyRecord(TRUE, 0xFFFF, 0xFFFF, 0xFFFF, 0x8000'0100u),
         {1, 1, 65535, 65535, 65535, static_cast<jint>(0x8000'0100u)}, 6},
        {"mouse at the top-left cell", mouseRecord(0, 0, FROM_LEFT_1ST_BUTTON_PRESSED, 0, 0), {2, 0, 0, 1, 0, 0}, 6},
        {"mouse at negative cells, a wheel turn with the top bit set",
         mouseRecord(-3, -1, 0xFF88'0000u, LEFT_CTRL_PRESSED, MOUSE_WHEELED),
         {2, -3, -1, -7864320, LEFT_CTRL_PRESSED, MOUSE_WHEELED}, 6},
        {"focus gives null", otherRecord(FOCUS_EVENT), {}, 0},
        {"menu gives null", otherRecord(MENU_EVENT), {}, 0},
        {"the record after them reads normally", keyRecord(TRUE, 1, 0x42, L'b', 0), {1, 1, 1, 0x42, 'b', 0}, 6},
    };
    constexpr DWORD count = sizeof cases / sizeof cases[0];
    INPUT_RECORD injected[count];
    for (DWORD i = 0; i < count; ++i) {
        injected[i] = cases[i].record;
    }
    FlushConsoleInputBuffer(input);
    DWORD written = 0;
    check("records injected", WriteConsoleInputW(input, injected, count, &written) != 0 && written == count);
    for (const Case& c : cases) {
        // A record that never arrives fails its check instead of blocking the read for ever.
        if (dll.waitForSingleObject(&env, cls, value(input), 5000) != WAIT_OBJECT_0) {
            check(c.name, false);
            continue;
        }
        resetJournal();
        checkArray(c.name, dll.readConsoleInputEvent(&env, cls, value(input)), c.length == 0 ? nullptr : c.expected,
                   c.length);
    }
    checkEqual("every record was taken", dll.getNumberOfConsoleInputEvents(&env, cls, value(input)), 0);
}

void countAndWait(HANDLE input) {
    jlong in = value(input);
    FlushConsoleInputBuffer(input);
    checkEqual("nothing pending counts 0", dll.getNumberOfConsoleInputEvents(&env, cls, in), 0);
    checkEqual("wait 0 ms with nothing pending times out", dll.waitForSingleObject(&env, cls, in, 0), WAIT_TIMEOUT);
    INPUT_RECORD two[] = {keyRecord(TRUE, 1, 0x43, L'c', 0), keyRecord(FALSE, 1, 0x43, L'c', 0)};
    DWORD written = 0;
    WriteConsoleInputW(input, two, 2, &written);
    checkEqual("two pending count 2", dll.getNumberOfConsoleInputEvents(&env, cls, in), 2);
    checkEqual("wait 0 ms with input pending", dll.waitForSingleObject(&env, cls, in, 0), WAIT_OBJECT_0);
    checkEqual("wait -1 (INFINITE) with input pending", dll.waitForSingleObject(&env, cls, in, -1), WAIT_OBJECT_0);
    resetJournal();
    if (dll.waitForSingleObject(&env, cls, in, 0) == WAIT_OBJECT_0) {
        dll.readConsoleInputEvent(&env, cls, in);
    }
    checkEqual("one read takes one", dll.getNumberOfConsoleInputEvents(&env, cls, in), 1);
    FlushConsoleInputBuffer(input);
}

void writeAndSize(HANDLE input) {
    HANDLE screen = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr);
    check("a screen buffer of its own", screen != INVALID_HANDLE_VALUE);
    CharArray storage;
    const wchar_t* text = L"h\u00e9llo \u03b1\u0416!";
    jcharArray chars = charArray(storage, text);

    struct Case {
        const char* name;
        jint length;
        jboolean result;
        int jniCalls;
        jint releaseMode;
    } cases[] = {
        {"one past the array is false, before the elements", storage.length + 1, JNI_FALSE, 1, noRelease},
        {"zero length writes", 0, JNI_TRUE, 3, JNI_ABORT},
        {"whole array writes, released with JNI_ABORT", storage.length, JNI_TRUE, 3, JNI_ABORT},
    };
    for (const Case& c : cases) {
        resetJournal();
        jboolean result = dll.writeConsole(&env, cls, value(screen), chars, c.length);
        Line detail;
        detail << "result " << static_cast<long long>(result) << ", " << journal.calls << " JNI calls, release mode "
               << static_cast<long long>(journal.releaseMode);
        check(c.name, result == c.result && journal.calls == c.jniCalls && journal.releaseMode == c.releaseMode &&
                          !journal.elementsHeld, detail);
    }
    // The text, then the blank rest of the row.
    wchar_t row[maxChars] = {};
    const DWORD shown = static_cast<DWORD>(storage.length) + 2;
    DWORD read = 0;
    ReadConsoleOutputCharacterW(screen, row, shown, COORD{0, 0}, &read);
    bool same = read == shown;
    for (DWORD i = 0; i < shown && same; ++i) {
        same = row[i] == (i < static_cast<DWORD>(storage.length) ? text[i] : L' ');
    }
    check("the text reads back from the screen", same);

    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, nullptr, 0);
    resetJournal();
    check("a pipe is refused and its elements released",
          dll.writeConsole(&env, cls, value(writeEnd), chars, storage.length) == JNI_FALSE &&
              journal.releaseMode == JNI_ABORT && !journal.elementsHeld);
    CloseHandle(readEnd);
    CloseHandle(writeEnd);

    // In a classic console a buffer may be larger than its window, which then scrolls over it.
    // Windows refuses a buffer narrower than its window, and a new screen buffer's window is the
    // console's (120 columns on Windows): the window is narrowed first.
    const char* scrolled = "a window of 80 x 24 over a buffer of 100 x 2000 scrolls to row 1500";
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (pseudo) {
        skip(scrolled, "in a pseudo console the screen buffer is the window, which does not scroll");
    } else {
        SMALL_RECT window{0, 0, 79, 23};
        SMALL_RECT lower{0, 1500, 79, 1523};
        bool done = SetConsoleWindowInfo(screen, TRUE, &window) && SetConsoleScreenBufferSize(screen, COORD{100, 2000})
                    && SetConsoleWindowInfo(screen, TRUE, &lower);
        Line detail;
        detail << (done ? "the window's top row is not 1500" : "the console refused it") << " (error "
               << static_cast<long long>(GetLastError()) << ")";
        check(scrolled, done && GetConsoleScreenBufferInfo(screen, &info) && info.srWindow.Top == 1500, detail);
    }
    GetConsoleScreenBufferInfo(screen, &info);
    const jint size[] = {info.srWindow.Right - info.srWindow.Left + 1, info.srWindow.Bottom - info.srWindow.Top + 1};
    resetJournal();
    checkArray("size is the visible window's", dll.getConsoleSize(&env, cls, value(screen)), size, 2);
    resetJournal();
    check("an input handle has no size, and no JNI call",
          dll.getConsoleSize(&env, cls, value(input)) == nullptr && journal.calls == 0);
    CloseHandle(screen);
}

void modes(HANDLE input) {
    jlong in = value(input);
    jint saved = dll.getConsoleMode(&env, cls, in);
    DWORD platform = 0;
    GetConsoleMode(input, &platform);
    checkEqual("getConsoleMode is the platform's", saved, static_cast<jint>(platform));
    checkEqual("setting the mode read back succeeds", dll.setConsoleMode(&env, cls, in, saved), JNI_TRUE);
    // Whatever the platform makes of a mode with its top bit set, the library must pass it on
    // as that 32-bit pattern: its answers must be the platform's own.
    const DWORD topBit = platform | 0x8000'0000u;
    jboolean bridged = dll.setConsoleMode(&env, cls, in, static_cast<jint>(topBit));
    jint bridgedMode = dll.getConsoleMode(&env, cls, in);
    SetConsoleMode(input, platform);
    BOOL direct = SetConsoleMode(input, topBit);
    DWORD directMode = 0;
    GetConsoleMode(input, &directMode);
    SetConsoleMode(input, platform);
    checkEqual("a top-bit mode is accepted as the platform accepts it", bridged, direct != 0 ? 1 : 0);
    checkEqual("and reads back as the platform's 32 bits", bridgedMode, static_cast<jint>(directMode));
    checkEqual("mode restored", dll.getConsoleMode(&env, cls, in), saved);
    jint codePage = dll.getConsoleOutputCP(&env, cls);
    checkEqual("output code page is the platform's", codePage, static_cast<jint>(GetConsoleOutputCP()));
    check("output code page is not 0", codePage > 0);
    checkEqual("allocConsole fails where a console is attached", dll.allocConsole(&env, cls), JNI_FALSE);
}

// Runs this program again without a console or standard input, and checks the seven digits
// it writes.
void allocationInAChild(const wchar_t* dllPath) {
    wchar_t commandLine[2 * MAX_PATH + 32];
    int length = 0;
    auto append = [&](const wchar_t* s) {
        while (*s != 0 && length < 2 * MAX_PATH + 16) {
            commandLine[length++] = *s++;
        }
    };
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    append(L"\"");
    append(self);
    append(L"\" \"");
    append(dllPath);
    append(L"\" --child");
    commandLine[length] = 0;

    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, &inheritable, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    PROCESS_INFORMATION process{};
    BOOL started = CreateProcessW(nullptr, commandLine, nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr, nullptr,
                                  &startup, &process);
    CloseHandle(writeEnd);
    char result[16] = {};
    DWORD total = 0;
    DWORD got = 0;
    while (started && total < sizeof result - 1 && ReadFile(readEnd, result + total, sizeof result - 1 - total, &got,
                                                             nullptr) && got > 0) {
        total += got;
    }
    CloseHandle(readEnd);
    if (started) {
        WaitForSingleObject(process.hProcess, 60000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    Line detail;
    detail << "child wrote \"" << result << "\"";
    check("without standard input getStdHandle(-10) is -1 where the platform says null",
          total == 7 && result[0] == '1' && result[1] == '1', detail);
    // allocConsole twice, then freeConsole: only the first allocation succeeds. What freeing
    // again without a console gives is the platform's choice: the library's answer must equal
    // a direct FreeConsole in the same state (the last two digits).
    check("in a child without a console alloc, alloc, free give true, false, true",
          total == 7 && result[2] == '1' && result[3] == '0' && result[4] == '1', detail);
    check("and a second free answers as the platform does", total == 7 && result[5] == result[6], detail);
}

int child() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    char result[7] = {
        static_cast<char>('0' + (dll.getStdHandle(&env, cls, -10) == -1)),
        static_cast<char>('0' + (GetStdHandle(STD_INPUT_HANDLE) == nullptr)),
        static_cast<char>('0' + dll.allocConsole(&env, cls)), static_cast<char>('0' + dll.allocConsole(&env, cls)),
        static_cast<char>('0' + dll.freeConsole(&env, cls)), static_cast<char>('0' + dll.freeConsole(&env, cls)),
        static_cast<char>(FreeConsole() != 0 ? '1' : '0')};
    DWORD written = 0;
    WriteFile(out, result, sizeof result, &written, nullptr);
    return 0;
}

// Asks the console host, by a line of the report, to type, resize or look at the console.
void request(const char* what, const wchar_t* text = L"") {
    Line line;
    line << what << text;
    line.writeTo(checks);
}

// The next resize record or key-down record of a character (a shift key's own record is passed
// over), or null after 30 s without one.
jintArray nextKeyOrResize(jlong in) {
    while (dll.waitForSingleObject(&env, cls, in, 30000) == WAIT_OBJECT_0) {
        resetJournal();
        jintArray event = dll.readConsoleInputEvent(&env, cls, in);
        const IntArray* ints = reinterpret_cast<IntArray*>(event);
        if (ints != nullptr && (ints->values[0] == WINDOW_BUFFER_SIZE_EVENT ||
                                (ints->values[0] == KEY_EVENT && ints->values[1] == 1 && ints->values[4] != 0))) {
            return event;
        }
    }
    return nullptr;
}

// What only a console of its own shows, with the console host as its user: a key typed on it,
// a resize, and letters outside the console's code page written to it.
void asTheUserSeesIt(HANDLE input, HANDLE output) {
    jlong in = value(input);
    jint saved = dll.getConsoleMode(&env, cls, in);
    dll.setConsoleMode(&env, cls, in, (saved & ~(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_PROCESSED_INPUT)) |
                                          ENABLE_WINDOW_INPUT);
    FlushConsoleInputBuffer(input);
    request("type k");
    jintArray key = nextKeyOrResize(in);
    const IntArray* ints = reinterpret_cast<IntArray*>(key);
    Line detail;
    detail << "got ";
    describe(detail, key);
    check("a typed k arrives as a key-down record with vk 0x4B and character k",
          ints != nullptr && ints->length == 6 && ints->values[3] == 0x4B && ints->values[4] == 'k', detail);

    // A host that cannot resize its console types ! instead.
    request("resize 96 32");
    jintArray resized = nextKeyOrResize(in);
    ints = reinterpret_cast<IntArray*>(resized);
    const char* name = "a resize to 96 columns and 32 rows arrives as [4, 96, 32]";
    if (ints != nullptr && ints->values[0] == KEY_EVENT && ints->values[4] == '!') {
        skip(name, "the console host cannot resize this console");
    } else {
        const jint record[] = {WINDOW_BUFFER_SIZE_EVENT, 96, 32};
        const jint size[] = {96, 32};
        checkArray(name, resized, record, 3);
        // A classic console's window may follow its buffer a moment later, as the host sets one
        // after the other.
        jintArray shown = nullptr;
        for (int tries = 0; tries < 40 && !arrayIs(shown, size, 2); ++tries) {
            Sleep(tries == 0 ? 0 : 50);
            resetJournal();
            shown = dll.getConsoleSize(&env, cls, value(output));
        }
        checkArray("getConsoleSize then gives [96, 32]", shown, size, 2);
    }
    dll.setConsoleMode(&env, cls, in, saved);

    CharArray storage;
    const wchar_t* han = L"\u4e2d";
    const wchar_t* clef = L"\U0001D11E";  // outside the BMP: a surrogate pair
    const wchar_t* text = L"\u4e2d \U0001D11E\r\n";
    jcharArray chars = charArray(storage, text);
    resetJournal();
    check("a CJK letter and one outside the BMP are written",
          dll.writeConsole(&env, cls, value(output), chars, storage.length) == JNI_TRUE);
    request("shows ", han);
    request("shows ", clef);
}

int run() {
    table.NewIntArray = newIntArray;
    table.SetIntArrayRegion = setIntArrayRegion;
    table.GetArrayLength = getArrayLength;
    table.GetCharArrayElements = getCharArrayElements;
    table.ReleaseCharArrayElements = releaseCharArrayElements;
    env.functions = &table;
    cls = reinterpret_cast<jclass>(INT_PTR{0x10});

    wchar_t dllPath[MAX_PATH];
    wchar_t report[MAX_PATH];
    wchar_t console[16];
    const wchar_t* rest = nextArgument(GetCommandLineW(), dllPath, MAX_PATH);  // the program
    rest = nextArgument(rest, dllPath, MAX_PATH);
    rest = nextArgument(rest, report, MAX_PATH);
    nextArgument(rest, console, 16);
    pseudo = lstrcmpW(console, L"classic") != 0;
    if (report[0] == L'-') {
        checks = GetStdHandle(STD_ERROR_HANDLE);
        return load(dllPath) != nullptr ? child() : 2;
    }
    // Appended to, as the console host writes its own lines there too.
    checks = CreateFileW(report, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
    HMODULE module = load(dllPath);
    check("the DLL loads", module != nullptr);
    if (failures != 0) {
        return 2;
    }
    machine(module);
    HANDLE input = open(L"CONIN$");
    HANDLE output = open(L"CONOUT$");
    handleRule(input, output);
    records(input);
    countAndWait(input);
    writeAndSize(input);
    modes(input);
    allocationInAChild(dllPath);
    asTheUserSeesIt(input, output);
    return failures == 0 ? 0 : 1;
}

}  // namespace

extern "C" void driverMain() {
    ExitProcess(static_cast<UINT>(run()));
}
