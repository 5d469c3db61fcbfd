// The console as the host tests script it: each Win32 function of the stand-in <windows.h>
// logs its call here and answers from the fields below. A call that fails fills its
// out-parameters with plausible garbage, so that code reading them after a failure shows.
#ifndef TIRK_STANDIN_CONSOLE_H
#define TIRK_STANDIN_CONSOLE_H

#include <windows.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace standin {

struct Console {
    // Answers.
    BOOL result = TRUE;  // returned by every BOOL function
    HANDLE stdHandle = reinterpret_cast<HANDLE>(std::intptr_t{0x50});
    std::deque<INPUT_RECORD> input;  // records ReadConsoleInputW hands out, one per call
    DWORD count = 0;
    DWORD waitResult = WAIT_OBJECT_0;
    DWORD writeLimit = 0xFFFFFFFFu;  // WriteConsoleW writes at most this many code units
    CONSOLE_SCREEN_BUFFER_INFO bufferInfo{};
    DWORD mode = 0;
    UINT codePage = 65001;
    // For benchmarks: with logging off the functions record nothing, and with consume off
    // ReadConsoleInputW hands out the first record again and again.
    bool logging = true;
    bool consume = true;

    // What the calls received, one line per call, e.g. "SetConsoleMode(0x1234, 0x80000007)".
    std::vector<std::string> calls;
    // The same lines with those of the JNI calls of a FakeJni attached to it, in the order made.
    std::vector<std::string> sequence;
    std::u16string written;  // every code unit WriteConsoleW was asked to write
};

// The one console all stand-in functions share; reset() restores the answers above.
Console& console();
void reset();

// A number as the call log writes it, e.g. "0x1234".
std::string hex(std::uint64_t value);

}  // namespace standin

#endif
