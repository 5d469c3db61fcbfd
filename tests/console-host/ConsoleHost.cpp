// Runs a program in a console of its own and plays its user: types keys, resizes the console and
// checks what the console shows. Both kinds of console Windows users have: a classic console, as
// cmd and PowerShell windows are, and a pseudo console, as Windows Terminal, VS Code and most
// IDEs give. The same program runs the console's checks on Windows and under Wine. It links no C
// runtime, so that it builds for x86-64 and ARM64 alike.
//
// Usage: console-host MODE REPORT [REQUEST...] -- PROGRAM [ARGUMENT...]
//   MODE     classic: a console of its own, without a window, of the size Windows opens one at,
//            which the host shares; the program's standard error goes to REPORT
//            COLSxROWS: a pseudo console of that size, whose output the host reads from its pipe
//   REPORT   the file of check lines ("ok NAME", "FAILED NAME: DETAIL", "skipped NAME: WHY"):
//            the program's and the host's own
//   REQUEST  what the host does, in turn, each an argument of its own; the program may ask the
//            same at any time by a line of REPORT (but "after"):
//              after TEXT        wait until the console shows TEXT
//              type KEYS         type each of KEYS as a key
//              resize COLS ROWS  resize the console; where the host cannot, it types ! instead
//              shows TEXT        check that the console shows TEXT within 10 s
//            \uXXXX stands for one UTF-16 unit.
// The host then checks that the program exits with status 0 and, in a classic console, that it
// leaves the console's input mode as it found it. Exit status: 0 when no line of REPORT says
// FAILED and no check of its own failed, else 1; 2 (with one line on standard error) when the
// program cannot be run.

// Pseudo consoles came with Windows 10 1809, whose declarations the headers give only when asked.
#define NTDDI_VERSION 0x0A000006
#define _WIN32_WINNT 0x0A00
#include <windows.h>

#include "InputRecords.h"
#include "Win32Program.h"

namespace {

constexpr int textSize = 512;
constexpr DWORD showsWithin = 10'000;
constexpr DWORD afterWithin = 60'000;
constexpr DWORD programWithin = 3'600'000;

bool pseudo;
HANDLE input;   // classic: the console's input; pseudo: the pipe the pseudo console reads keys from
HANDLE output;  // classic: the console's screen buffer
HPCON pseudoConsole;

// What the pseudo console wrote, as a reader thread appends it; the screen; what either shows.
char written[1 << 20];
volatile LONG writtenLength;
wchar_t screen[1 << 20];
char plain[1 << 20];
// The report as read so far, and how much of it has been taken as requests.
char reportText[1 << 20];
DWORD reportLength;
DWORD reportTaken;
// The requests, done in turn: the command line's, then the program's as it writes them.
wchar_t requests[64][textSize];
int requestCount;
int nextRequest;
DWORD requestStarted;

int fail(const char* what, const wchar_t* about, DWORD error) {
    Line line;
    line << "console-host: " << what << " " << about << " (error " << static_cast<long long>(error) << ")";
    line.writeTo(GetStdHandle(STD_ERROR_HANDLE));
    return 2;
}

bool startsWith(const wchar_t* text, const wchar_t* prefix) {
    while (*prefix != 0 && *text == *prefix) {
        ++text;
        ++prefix;
    }
    return *prefix == 0;
}

int hexDigit(wchar_t c) {
    return c >= L'0' && c <= L'9' ? c - L'0' : (c | 0x20) >= L'a' && (c | 0x20) <= L'f' ? (c | 0x20) - L'a' + 10 : -1;
}

// `text` with each \uXXXX replaced by its UTF-16 unit.
void unescape(wchar_t* text) {
    wchar_t* to = text;
    for (const wchar_t* from = text; *from != 0; ++from) {
        int unit = from[0] == L'\\' && from[1] == L'u' ? 0 : -1;
        for (int i = 2; i < 6 && unit >= 0; ++i) {
            unit = hexDigit(from[i]) < 0 ? -1 : unit * 16 + hexDigit(from[i]);
        }
        *to++ = unit >= 0 ? static_cast<wchar_t>(unit) : *from;
        from += unit >= 0 ? 5 : 0;
    }
    *to = 0;
}

template <typename Char>
bool contains(const Char* haystack, int size, const Char* needle, int needleLength) {
    for (int at = 0; at + needleLength <= size; ++at) {
        int i = 0;
        while (i < needleLength && haystack[at + i] == needle[i]) {
            ++i;
        }
        if (i == needleLength) {
            return true;
        }
    }
    return false;
}

// Whether the console shows `text`: on the screen of a classic console; in a pseudo console's
// output, its escape sequences left out.
bool shows(const wchar_t* text) {
    if (!pseudo) {
        CONSOLE_SCREEN_BUFFER_INFO info;
        GetConsoleScreenBufferInfo(output, &info);
        // The rows up to the cursor's, as many of the last of them as the screen array holds.
        int rows = info.dwCursorPosition.Y + 1;
        int first = rows - static_cast<int>(sizeof screen / sizeof screen[0] / info.dwSize.X);
        first = first > 0 ? first : 0;
        DWORD read = 0;
        ReadConsoleOutputCharacterW(output, screen, static_cast<DWORD>(info.dwSize.X * (rows - first)),
                                    COORD{0, static_cast<SHORT>(first)}, &read);
        return contains(screen, static_cast<int>(read), text, lstrlenW(text));
    }
    int size = 0;
    for (LONG i = 0, end = writtenLength; i < end; ++i) {
        if (written[i] == 0x1b && i + 1 < end && (written[i + 1] == '[' || written[i + 1] == ']')) {
            bool command = written[i + 1] == ']';  // ends with BEL or ESC \, a control sequence with a final byte
            for (i += 2; i < end && (command ? written[i] != 7 && written[i] != 0x1b : written[i] < 0x40); ++i) {
            }
            i += command && i < end && written[i] == 0x1b ? 1 : 0;
        } else {
            plain[size++] = written[i];
        }
    }
    static char needle[4 * textSize];
    int needleLength = WideCharToMultiByte(CP_UTF8, 0, text, -1, needle, sizeof needle, nullptr, nullptr) - 1;
    return needleLength > 0 && contains(plain, size, needle, needleLength);
}

DWORD WINAPI drain(void* pipe) {
    DWORD got = 0;
    static char chunk[4096];  // one reader thread; on the stack it would need the C runtime's stack probe
    while (ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        LONG at = writtenLength;
        for (DWORD i = 0; i < got && at < static_cast<LONG>(sizeof written); ++i) {
            written[at++] = chunk[i];
        }
        InterlockedExchange(&writtenLength, at);
    }
    return 0;
}

// Each key in a write of its own: in a pseudo console as the UTF-8 a terminal sends, in a classic
// console as the records a keyboard gives (a letter outside the BMP as one for each half of its
// surrogate pair).
void type(const wchar_t* keys) {
    for (int i = 0; keys[i] != 0; ++i) {
        DWORD done = 0;
        wchar_t c = keys[i];
        if (pseudo) {
            int units = c >= 0xD800 && c < 0xDC00 && keys[i + 1] != 0 ? 2 : 1;
            char bytes[8];
            int n = WideCharToMultiByte(CP_UTF8, 0, keys + i, units, bytes, sizeof bytes, nullptr, nullptr);
            WriteFile(input, bytes, static_cast<DWORD>(n), &done, nullptr);
            i += units - 1;
        } else {
            WORD virtualKey = c >= L'a' && c <= L'z' ? c - 0x20 : (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ? c : 0;
            INPUT_RECORD key[] = {keyRecord(TRUE, 1, virtualKey, c, 0), keyRecord(FALSE, 1, virtualKey, c, 0)};
            WriteConsoleInputW(input, key, 2, &done);
        }
        Sleep(100);
    }
}

// Columns and rows from "COLS ROWS" or "COLSxROWS".
COORD sizeFrom(const wchar_t* text) {
    COORD size{0, 0};
    for (SHORT* n = &size.X; *text != 0; ++text) {
        if (*text >= L'0' && *text <= L'9') {
            *n = static_cast<SHORT>(*n * 10 + (*text - L'0'));
        } else {
            n = &size.Y;
        }
    }
    return size;
}

void resize(const wchar_t* size) {
    COORD to = sizeFrom(size);
    Line name;
    name << "the console is resized to " << static_cast<long long>(to.X) << " columns and "
         << static_cast<long long>(to.Y) << " rows";
    Line detail;
    bool done;
    if (pseudo) {
        HRESULT result = ResizePseudoConsole(pseudoConsole, to);
        detail << "ResizePseudoConsole gave " << static_cast<long long>(result);
        done = result == S_OK;
    } else {
        // The window must lie inside the buffer at every step: narrowed first, widened last.
        CONSOLE_SCREEN_BUFFER_INFO info;
        GetConsoleScreenBufferInfo(output, &info);
        SHORT columns = info.srWindow.Right - info.srWindow.Left + 1;
        SHORT rows = info.srWindow.Bottom - info.srWindow.Top + 1;
        SMALL_RECT narrowed{0, 0, static_cast<SHORT>((columns < to.X ? columns : to.X) - 1),
                            static_cast<SHORT>((rows < to.Y ? rows : to.Y) - 1)};
        SMALL_RECT window{0, 0, static_cast<SHORT>(to.X - 1), static_cast<SHORT>(to.Y - 1)};
        done = SetConsoleWindowInfo(output, TRUE, &narrowed) && SetConsoleScreenBufferSize(output, to) &&
               SetConsoleWindowInfo(output, TRUE, &window);
        detail << "the console refused it (error " << static_cast<long long>(GetLastError()) << ")";
    }
    if (!done && pseudo && underWine()) {
        skip(name.text, "Wine does not resize a pseudo console");
    } else {
        check(name.text, done, detail);
    }
    if (!done) {
        type(L"!");
    }
}

// Adds the requests the program wrote to the report since the last look.
void readRequests(HANDLE report) {
    DWORD got = 0;
    while (reportLength < sizeof reportText &&
           ReadFile(report, reportText + reportLength, sizeof reportText - reportLength, &got, nullptr) && got > 0) {
        reportLength += got;
    }
    for (DWORD end = reportTaken; end < reportLength; ++end) {
        if (reportText[end] == '\n' && requestCount < 64) {
            wchar_t* request = requests[requestCount];
            int n = MultiByteToWideChar(CP_UTF8, 0, reportText + reportTaken, static_cast<int>(end - reportTaken),
                                        request, textSize - 1);
            request[n > 0 ? n : 0] = 0;
            requestCount += startsWith(request, L"type ") || startsWith(request, L"resize ") ||
                            startsWith(request, L"shows ") ? 1 : 0;
            reportTaken = end + 1;
        }
    }
}

// Does the requests in turn, where one that waits for the console holds back the rest; true while
// one waits.
bool doRequests(bool exited) {
    for (; nextRequest < requestCount; ++nextRequest, requestStarted = GetTickCount()) {
        const wchar_t* request = requests[nextRequest];
        if (startsWith(request, L"type ")) {
            type(request + 5);
            continue;
        }
        if (startsWith(request, L"resize ")) {
            resize(request + 7);
            continue;
        }
        bool after = startsWith(request, L"after ");
        bool now = shows(request + 6);
        DWORD waited = GetTickCount() - requestStarted;
        if (!now && (after ? !exited && waited < afterWithin : waited < showsWithin)) {
            return true;
        }
        Line name;
        name << "the console shows " << request + 6;
        Line detail;
        detail << (!after ? "not within 10 s" : exited ? "the program ended first" : "not within 60 s");
        bool outsideTheBmp = false;
        for (const wchar_t* c = request + 6; *c != 0; ++c) {
            outsideTheBmp |= *c >= 0xD800 && *c < 0xE000;
        }
        if (!now && pseudo && outsideTheBmp && underWine()) {
            skip(name.text, "Wine's pseudo console writes a letter outside the BMP as U+FFFD");
        } else if (!now || !after) {
            check(name.text, now, detail);
        }
        if (after && !now) {
            nextRequest = requestCount;  // typing on would go to no one
            return false;
        }
    }
    return false;
}

// Starts `command` in a pseudo console of `size` ("COLSxROWS").
bool startInPseudoConsole(const wchar_t* size, wchar_t* command, PROCESS_INFORMATION& process) {
    HANDLE keysRead = nullptr;
    HANDLE outputRead = nullptr;
    HANDLE outputWrite = nullptr;
    CreatePipe(&keysRead, &input, nullptr, 0);
    CreatePipe(&outputRead, &outputWrite, nullptr, 0);
    HRESULT made = CreatePseudoConsole(sizeFrom(size), keysRead, outputWrite, 0, &pseudoConsole);
    if (made != S_OK) {
        fail("cannot make a pseudo console (CreatePseudoConsole) of", size, static_cast<DWORD>(made));
        return false;
    }
    CloseHandle(keysRead);
    CloseHandle(outputWrite);
    CreateThread(nullptr, 0, drain, outputRead, 0, nullptr);
    static BYTE attributes[256];
    SIZE_T attributesSize = sizeof attributes;
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.lpAttributeList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes);
    InitializeProcThreadAttributeList(startup.lpAttributeList, 1, 0, &attributesSize);
    UpdateProcThreadAttribute(startup.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_PSEUDOCONSOLE, pseudoConsole,
                              sizeof pseudoConsole, nullptr, nullptr);
    if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                        &startup.StartupInfo, &process)) {
        fail("cannot run", command, GetLastError());
        return false;
    }
    return true;
}

// Starts `command` in this process's console, with `report` as its standard error.
bool startInThisConsole(wchar_t* command, HANDLE report, PROCESS_INFORMATION& process) {
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                        OPEN_EXISTING, 0, nullptr);
    output = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                         OPEN_EXISTING, 0, nullptr);
    // The size Windows opens a console at, a window of 120 x 30 over 9001 rows, where Wine's is
    // smaller: a program that sizes its screen buffers must meet here what it meets there.
    SMALL_RECT window{0, 0, 119, 29};
    check("the classic console opens as Windows opens one, 120 x 30 over 9001 rows",
          SetConsoleScreenBufferSize(output, COORD{120, 9001}) && SetConsoleWindowInfo(output, TRUE, &window));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = report;
    if (!CreateProcessW(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        fail("cannot run", command, GetLastError());
        return false;
    }
    return true;
}

// Runs this program again, as "inside" with the rest of its arguments, in a console of its own
// made without a window (as Wine makes one only so), and gives its exit status.
int inANewConsole(const wchar_t* rest) {
    static wchar_t command[32768] = L"\"";
    GetModuleFileNameW(nullptr, command + 1, MAX_PATH);
    lstrcatW(command, L"\" inside");
    lstrcatW(command, rest);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command, nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process)) {
        return fail("cannot run itself in a console of its own:", command, GetLastError());
    }
    DWORD status = 2;
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &status);
    return static_cast<int>(status);
}

int run() {
    wchar_t mode[64];
    wchar_t reportPath[MAX_PATH];
    const wchar_t* rest = nextArgument(GetCommandLineW(), mode, 64);  // the program
    rest = nextArgument(rest, mode, 64);
    if (startsWith(mode, L"classic")) {
        return inANewConsole(rest);
    }
    pseudo = !startsWith(mode, L"inside");
    rest = nextArgument(rest, reportPath, MAX_PATH);
    while (*rest != 0 && requestCount < 64) {
        rest = nextArgument(rest, requests[requestCount], textSize);
        if (lstrcmpW(requests[requestCount], L"--") == 0) {
            break;
        }
        unescape(requests[requestCount++]);
    }
    static wchar_t command[32768];
    lstrcpynW(command, rest + (*rest == L' ' ? 1 : 0), 32768);

    // The program's standard error in a classic console; in a pseudo console, it must not outlive
    // the host in the pseudo console's own process.
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, !pseudo};
    checks = CreateFileW(reportPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, CREATE_ALWAYS,
                         0, nullptr);
    HANDLE report = CreateFileW(reportPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                0, nullptr);
    if (checks == INVALID_HANDLE_VALUE || report == INVALID_HANDLE_VALUE) {
        return fail("cannot write the report", reportPath, GetLastError());
    }
    PROCESS_INFORMATION process{};
    DWORD modeBefore = 0;
    if (!(pseudo ? startInPseudoConsole(mode, command, process) : startInThisConsole(command, checks, process))) {
        return 2;
    }
    GetConsoleMode(input, &modeBefore);
    DWORD started = GetTickCount();
    requestStarted = started;
    for (bool exited = false, waiting = true; !exited || waiting;) {
        exited = exited || WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0;
        readRequests(report);
        waiting = doRequests(exited);
        if (!exited && GetTickCount() - started > programWithin) {
            TerminateProcess(process.hProcess, 1);
        }
    }
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    Line detail;
    detail << "status " << static_cast<long long>(status);
    check("the program exits with status 0", status == 0, detail);
    if (!pseudo) {
        DWORD modeAfter = 0;
        GetConsoleMode(input, &modeAfter);
        Line modes;
        modes << "mode " << static_cast<long long>(modeBefore) << " before, " << static_cast<long long>(modeAfter)
              << " after";
        check("the console's input mode is as the program found it", modeAfter == modeBefore, modes);
    }
    // Its own failures count even where the report lost their lines: Wine appends two processes'
    // lines to one file without making either wait, and one may overwrite the other.
    if (failures != 0) {
        return 1;
    }
    readRequests(report);
    for (DWORD line = 0; line + 7 <= reportLength; ++line) {
        if ((line == 0 || reportText[line - 1] == '\n') && contains(reportText + line, 7, "FAILED ", 7)) {
            return 1;
        }
    }
    return 0;
}

}  // namespace

extern "C" void consoleHostMain() {
    ExitProcess(static_cast<UINT>(run()));
}
