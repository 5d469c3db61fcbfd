// Runs a program in a console of its own and plays its user: types keys, resizes the console and
// checks what the console shows. Both kinds of console Windows users have: a classic console, as
// cmd and PowerShell windows are, and a pseudo console, as Windows Terminal, VS Code and most
// IDEs give. The same program runs the console's checks on Windows and under Wine. It links no C
// runtime, so that it builds for x86-64 and ARM64 alike.
//
// Usage: console-host MODE REPORT [REQUEST...] -- PROGRAM [ARGUMENT...]
//   MODE     classic: a console of its own, without a window, which the host shares; the
//            program's standard error goes to REPORT
//            COLSxROWS: a pseudo console of that size, whose output the host reads from its pipe
//   REPORT   the file of check lines ("ok NAME", "FAILED NAME: DETAIL", "skipped NAME: WHY"):
//            the program's and the host's own
//   REQUEST  what the host does, in turn, each an argument of its own; the program may ask the
//            same at any time by a line of REPORT:
//              after TEXT        wait until the console shows TEXT
//              type KEYS         type each of KEYS as a key
//              resize COLS ROWS  resize the console; where the host cannot, it types ! instead
//              shows TEXT        check that the console shows TEXT within 10 s
//            \uXXXX stands for one UTF-16 unit.
// The host then checks that the program exits with status 0 and, in a classic console, that it
// leaves the console's input mode as it found it. Exit status: 0 when no line of REPORT says
// FAILED, 1 when one does, 2 (with one line on standard error) when the program cannot be run.
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
constexpr DWORD programWithin = 1'200'000;

struct Request {
    wchar_t text[textSize];
};

bool pseudo;
HANDLE input;   // classic: the console's input; pseudo: the pipe the pseudo console reads keys from
HANDLE output;  // classic: the console's screen buffer
HPCON pseudoConsole;
wchar_t programName[MAX_PATH];

// What the pseudo console wrote, as a reader thread appends it.
char written[1 << 20];
volatile LONG writtenLength;
// The report as read so far, and how much of it has been taken as requests.
char reportText[1 << 20];
DWORD reportLength;
DWORD reportTaken;
// The screen, and scratch space for the text looked for.
wchar_t screen[1 << 20];
char plain[1 << 20];

// Requests from the command line, done in turn, and "shows" checks still open.
Request requests[16];
int requestCount;
int nextRequest;
DWORD requestStarted;
struct Pending {
    Request text;
    DWORD deadline;
} pending[16];
int pendingCount;

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

int length(const wchar_t* text) {
    int n = 0;
    while (text[n] != 0) {
        ++n;
    }
    return n;
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
        DWORD cells = static_cast<DWORD>(info.dwSize.X) * (info.dwCursorPosition.Y + 1);
        DWORD first = cells > sizeof screen / sizeof screen[0] ? cells - sizeof screen / sizeof screen[0] : 0;
        DWORD read = 0;
        ReadConsoleOutputCharacterW(output, screen, cells - first,
                                    COORD{0, static_cast<SHORT>(first / info.dwSize.X)}, &read);
        return contains(screen, static_cast<int>(read), text, length(text));
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
    char needle[4 * textSize];
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

WORD virtualKey(wchar_t c) {
    return c >= L'a' && c <= L'z' ? c - 0x20 : (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L' '
        ? c : c == L'\r' ? VK_RETURN : c == 0x1b ? VK_ESCAPE : 0;
}

// Each key in a write of its own, as a terminal sends it: in a pseudo console as the UTF-8 a
// terminal sends, in a classic console as the records a keyboard gives (a letter outside the BMP
// as two, one for each half of its surrogate pair).
void type(const wchar_t* keys) {
    for (int i = 0; keys[i] != 0; ++i) {
        DWORD done = 0;
        if (pseudo) {
            int units = keys[i] >= 0xD800 && keys[i] < 0xDC00 && keys[i + 1] != 0 ? 2 : 1;
            char bytes[8];
            int n = WideCharToMultiByte(CP_UTF8, 0, keys + i, units, bytes, sizeof bytes, nullptr, nullptr);
            WriteFile(input, bytes, static_cast<DWORD>(n), &done, nullptr);
            i += units - 1;
        } else {
            INPUT_RECORD key[] = {keyRecord(TRUE, 1, virtualKey(keys[i]), keys[i], 0),
                                  keyRecord(FALSE, 1, virtualKey(keys[i]), keys[i], 0)};
            WriteConsoleInputW(input, key, 2, &done);
        }
        Sleep(100);
    }
}

void resize(const wchar_t* size) {
    int numbers[2] = {0, 0};
    for (int n = 0; n < 2; ++n) {
        while (*size == L' ') {
            ++size;
        }
        for (; *size >= L'0' && *size <= L'9'; ++size) {
            numbers[n] = numbers[n] * 10 + (*size - L'0');
        }
    }
    COORD to{static_cast<SHORT>(numbers[0]), static_cast<SHORT>(numbers[1])};
    Line name;
    name << "the console is resized to " << static_cast<long long>(to.X) << " columns and "
         << static_cast<long long>(to.Y) << " rows";
    Line detail;
    bool done;
    if (pseudo) {
        auto resizePseudoConsole = reinterpret_cast<HRESULT(WINAPI*)(HPCON, COORD)>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "ResizePseudoConsole")));
        HRESULT result = resizePseudoConsole != nullptr ? resizePseudoConsole(pseudoConsole, to) : E_NOTIMPL;
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
    if (done) {
        check(name.text, true);
        return;
    }
    if (pseudo && underWine()) {
        skip(name.text, "Wine does not resize a pseudo console");
    } else {
        check(name.text, false, detail);
    }
    type(L"!");
}

void checkShown(const Pending& shown, bool now) {
    Line name;
    name << "the console shows " << shown.text.text;
    bool outsideTheBmp = false;
    for (const wchar_t* c = shown.text.text; *c != 0; ++c) {
        outsideTheBmp |= *c >= 0xD800 && *c < 0xE000;
    }
    if (!now && pseudo && outsideTheBmp && underWine()) {
        skip(name.text, "Wine's pseudo console writes a letter outside the BMP as U+FFFD");
    } else {
        Line detail;
        detail << "not within 10 s";
        check(name.text, now, detail);
    }
}

// Does what `request` asks, but for waiting, which done() decides.
void start(const wchar_t* request) {
    if (startsWith(request, L"type ")) {
        type(request + 5);
    } else if (startsWith(request, L"resize ")) {
        resize(request + 7);
    } else if (startsWith(request, L"shows ") && pendingCount < 16) {
        Pending& shown = pending[pendingCount++];
        for (int i = 0; i < textSize; ++i) {
            shown.text.text[i] = request[6 + i];
            if (request[6 + i] == 0) {
                break;
            }
        }
        shown.deadline = GetTickCount() + showsWithin;
    }
}

// The requests the program wrote to the report since the last look.
void takeReportedRequests(HANDLE report) {
    DWORD got = 0;
    while (reportLength < sizeof reportText &&
           ReadFile(report, reportText + reportLength, sizeof reportText - reportLength, &got, nullptr) && got > 0) {
        reportLength += got;
    }
    for (DWORD end = reportTaken; end < reportLength; ++end) {
        if (reportText[end] != '\n') {
            continue;
        }
        Request request;
        int n = MultiByteToWideChar(CP_UTF8, 0, reportText + reportTaken, static_cast<int>(end - reportTaken),
                                    request.text, textSize - 1);
        request.text[n > 0 ? n : 0] = 0;
        if (!startsWith(request.text, L"after ")) {
            start(request.text);
        }
        reportTaken = end + 1;
    }
}

// Moves on through the requests of the command line; false once one can no longer be done.
bool doRequests(bool exited) {
    while (nextRequest < requestCount) {
        const wchar_t* request = requests[nextRequest].text;
        if (startsWith(request, L"after ") && !shows(request + 6)) {
            if (!exited && GetTickCount() - requestStarted < afterWithin) {
                return true;
            }
            Line name;
            name << "the console shows " << request + 6;
            Line detail;
            detail << (exited ? "the program ended first" : "not within 60 s");
            check(name.text, false, detail);
            return false;
        }
        start(request);
        ++nextRequest;
        requestStarted = GetTickCount();
    }
    return true;
}

// Looks at the "shows" checks still open; those past their time fail.
void checkPending() {
    for (int i = 0; i < pendingCount;) {
        bool now = shows(pending[i].text.text);
        if (now || static_cast<LONG>(GetTickCount() - pending[i].deadline) > 0) {
            checkShown(pending[i], now);
            pending[i] = pending[--pendingCount];
        } else {
            ++i;
        }
    }
}

// The program in a pseudo console of `size` ("COLSxROWS").
bool startInPseudoConsole(const wchar_t* size, wchar_t* command, PROCESS_INFORMATION& process) {
    COORD columnsRows{0, 0};
    for (SHORT* n = &columnsRows.X; *size != 0; ++size) {
        if (*size == L'x') {
            n = &columnsRows.Y;
        } else {
            *n = static_cast<SHORT>(*n * 10 + (*size - L'0'));
        }
    }
    HANDLE keysRead = nullptr;
    HANDLE outputRead = nullptr;
    HANDLE outputWrite = nullptr;
    CreatePipe(&keysRead, &input, nullptr, 0);
    CreatePipe(&outputRead, &outputWrite, nullptr, 0);
    auto createPseudoConsole = reinterpret_cast<HRESULT(WINAPI*)(COORD, HANDLE, HANDLE, DWORD, HPCON*)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CreatePseudoConsole")));
    HRESULT made = createPseudoConsole == nullptr ? E_NOTIMPL
                                                   : createPseudoConsole(columnsRows, keysRead, outputWrite, 0, &pseudoConsole);
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
    return CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                          &startup.StartupInfo, &process) != 0;
}

// The program sharing this process's console, with `report` as its standard error.
bool startInThisConsole(wchar_t* command, HANDLE report, PROCESS_INFORMATION& process) {
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                        OPEN_EXISTING, 0, nullptr);
    output = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                         OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = report;
    return CreateProcessW(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process) != 0;
}

// Runs this program again in a console of its own, as "inside", and gives its exit status.
int inANewConsole(const wchar_t* rest) {
    static wchar_t command[32768];
    int n = 0;
    auto append = [&](const wchar_t* s) {
        while (*s != 0 && n < 32000) {
            command[n++] = *s++;
        }
    };
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    append(L"\"");
    append(self);
    append(L"\" inside");
    append(rest);
    command[n] = 0;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command, nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process)) {
        return fail("cannot run itself in a console of its own:", self, GetLastError());
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
    while (*rest != 0 && requestCount < 16) {
        rest = nextArgument(rest, requests[requestCount].text, textSize);
        if (startsWith(requests[requestCount].text, L"--") && requests[requestCount].text[2] == 0) {
            break;
        }
        unescape(requests[requestCount++].text);
    }
    static wchar_t command[32768];
    while (*rest == L' ') {
        ++rest;
    }
    for (int i = 0; rest[i] != 0 && i < 32767; ++i) {
        command[i] = rest[i];
    }
    wchar_t program[MAX_PATH];
    nextArgument(command, program, MAX_PATH);
    const wchar_t* base = program;
    for (const wchar_t* c = program; *c != 0; ++c) {
        base = *c == L'\\' || *c == L'/' ? c + 1 : base;
    }
    for (int i = 0; (programName[i] = base[i]) != 0; ++i) {
    }

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
    if (pseudo ? !startInPseudoConsole(mode, command, process)
               : !(startInThisConsole(command, checks, process) && GetConsoleMode(input, &modeBefore))) {
        return pseudoConsole == nullptr && pseudo ? 2 : fail("cannot run", command, GetLastError());
    }

    DWORD started = GetTickCount();
    requestStarted = started;
    bool exited = false;
    bool requestsLeft = true;
    while (!exited || pendingCount > 0) {
        exited = exited || WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0;
        takeReportedRequests(report);
        requestsLeft = requestsLeft && doRequests(exited) && nextRequest < requestCount;
        checkPending();
        if (!exited && GetTickCount() - started > programWithin) {
            TerminateProcess(process.hProcess, 1);
        }
    }
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    Line name;
    name << programName << " exits with status 0";
    Line detail;
    detail << "status " << static_cast<long long>(status);
    check(name.text, status == 0, detail);
    if (!pseudo) {
        DWORD modeAfter = 0;
        GetConsoleMode(input, &modeAfter);
        Line modes;
        modes << "mode " << static_cast<long long>(modeBefore) << " before, " << static_cast<long long>(modeAfter)
              << " after";
        check("the console's input mode is as the program found it", modeAfter == modeBefore, modes);
    }
    takeReportedRequests(report);
    for (DWORD line = 0; line < reportLength; ++line) {
        if ((line == 0 || reportText[line - 1] == '\n') &&
            contains(reportText + line, static_cast<int>(reportLength - line), "FAILED ", 7)) {
            return 1;
        }
    }
    return 0;
}

}  // namespace

extern "C" void consoleHostMain() {
    ExitProcess(static_cast<UINT>(run()));
}
