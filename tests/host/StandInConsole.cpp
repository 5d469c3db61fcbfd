#include "StandInConsole.h"

#include <algorithm>
#include <cstdio>

namespace standin {

namespace {

Console theConsole;

std::string handleHex(HANDLE handle) {
    return hex(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(handle)));
}

// Takes the call's text as a function so that a benchmark with logging off does not pay
// for formatting it.
template <class Text>
void log(Text text) {
    if (theConsole.logging) {
        theConsole.calls.push_back(text());
        theConsole.sequence.push_back(theConsole.calls.back());
    }
}

// What a failed call may leave behind in its out-parameters.
constexpr DWORD garbage = 0xA5A5A5A5u;

}  // namespace

Console& console() {
    return theConsole;
}

void reset() {
    theConsole = Console{};
}

std::string hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace standin

using standin::theConsole;
using standin::garbage;
using standin::handleHex;
using standin::hex;
using standin::log;

extern "C" {

HANDLE WINAPI GetStdHandle(DWORD nStdHandle) {
    log([&] { return "GetStdHandle(" + hex(nStdHandle) + ")"; });
    return theConsole.stdHandle;
}

BOOL WINAPI ReadConsoleInputW(HANDLE hConsoleInput, INPUT_RECORD* lpBuffer, DWORD nLength,
                              LPDWORD lpNumberOfEventsRead) {
    log([&] { return "ReadConsoleInputW(" + handleHex(hConsoleInput) + ", " + std::to_string(nLength) + ")"; });
    if (theConsole.result == FALSE) {
        *lpNumberOfEventsRead = 1;
        lpBuffer->EventType = KEY_EVENT;
        return FALSE;
    }
    *lpNumberOfEventsRead = 0;
    if (!theConsole.input.empty() && nLength > 0) {
        *lpBuffer = theConsole.input.front();
        if (theConsole.consume) {
            theConsole.input.pop_front();
        }
        *lpNumberOfEventsRead = 1;
    }
    return theConsole.result;
}

BOOL WINAPI GetNumberOfConsoleInputEvents(HANDLE hConsoleInput, LPDWORD lpNumberOfEvents) {
    log([&] { return "GetNumberOfConsoleInputEvents(" + handleHex(hConsoleInput) + ")"; });
    *lpNumberOfEvents = theConsole.result == FALSE ? garbage : theConsole.count;
    return theConsole.result;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    log([&] { return "WaitForSingleObject(" + handleHex(hHandle) + ", " + hex(dwMilliseconds) + ")"; });
    return theConsole.waitResult;
}

BOOL WINAPI WriteConsoleW(HANDLE hConsoleOutput, const VOID* lpBuffer, DWORD nNumberOfCharsToWrite,
                          LPDWORD lpNumberOfCharsWritten, LPVOID lpReserved) {
    log([&] { return "WriteConsoleW(" + handleHex(hConsoleOutput) + ", " + std::to_string(nNumberOfCharsToWrite) +
        (lpReserved == nullptr ? ", null)" : ", reserved)"); });
    const auto* text = static_cast<const char16_t*>(lpBuffer);
    DWORD written = std::min(nNumberOfCharsToWrite, theConsole.writeLimit);
    if (theConsole.result == FALSE) {
        *lpNumberOfCharsWritten = nNumberOfCharsToWrite;
        return FALSE;
    }
    if (theConsole.logging) {
        theConsole.written.append(text, written);
    }
    *lpNumberOfCharsWritten = written;
    return theConsole.result;
}

BOOL WINAPI GetConsoleScreenBufferInfo(HANDLE hConsoleOutput, CONSOLE_SCREEN_BUFFER_INFO* lpConsoleScreenBufferInfo) {
    log([&] { return "GetConsoleScreenBufferInfo(" + handleHex(hConsoleOutput) + ")"; });
    *lpConsoleScreenBufferInfo = theConsole.bufferInfo;
    if (theConsole.result == FALSE) {
        lpConsoleScreenBufferInfo->srWindow = SMALL_RECT{0, 0, 79, 24};
    }
    return theConsole.result;
}

BOOL WINAPI GetConsoleMode(HANDLE hConsoleHandle, LPDWORD lpMode) {
    log([&] { return "GetConsoleMode(" + handleHex(hConsoleHandle) + ")"; });
    *lpMode = theConsole.result == FALSE ? garbage : theConsole.mode;
    return theConsole.result;
}

BOOL WINAPI SetConsoleMode(HANDLE hConsoleHandle, DWORD dwMode) {
    log([&] { return "SetConsoleMode(" + handleHex(hConsoleHandle) + ", " + hex(dwMode) + ")"; });
    return theConsole.result;
}

UINT WINAPI GetConsoleOutputCP(void) {
    log([&] { return "GetConsoleOutputCP()"; });
    return theConsole.codePage;
}

BOOL WINAPI AllocConsole(void) {
    log([&] { return "AllocConsole()"; });
    return theConsole.result;
}

BOOL WINAPI FreeConsole(void) {
    log([&] { return "FreeConsole()"; });
    return theConsole.result;
}

}  // extern "C"
