// What the test programs for Windows that link no C runtime share (the driver and the console
// host): the two memory functions the compiler may call, lines of text, check lines and their
// command line. Included by one source file of each program.
#ifndef TIRK_WIN32_PROGRAM_H
#define TIRK_WIN32_PROGRAM_H

#include <windows.h>

// The compiler may turn structure copies and zeroing into calls to these; with no C runtime
// linked, the program brings its own.
extern "C" void* memset(void* target, int value, size_t size) {
    auto* bytes = static_cast<unsigned char*>(target);
    while (size-- > 0) {
        *bytes++ = static_cast<unsigned char>(value);
    }
    return target;
}

extern "C" void* memcpy(void* target, const void* source, size_t size) {
    auto* to = static_cast<unsigned char*>(target);
    const auto* from = static_cast<const unsigned char*>(source);
    while (size-- > 0) {
        *to++ = *from++;
    }
    return target;
}

// A line of text, in UTF-8 where it holds more than ASCII.
struct Line {
    char text[512] = {};
    int length = 0;

    Line& operator<<(const char* s) {
        while (*s != 0 && length < static_cast<int>(sizeof text) - 2) {
            text[length++] = *s++;
        }
        return *this;
    }
    Line& operator<<(const wchar_t* s) {
        char utf8[sizeof text];
        int n = WideCharToMultiByte(CP_UTF8, 0, s, -1, utf8, sizeof utf8, nullptr, nullptr);
        return *this << (n > 0 ? utf8 : "?");
    }
    Line& operator<<(long long n) {
        char digits[24];
        int count = 0;
        unsigned long long magnitude = n < 0 ? 0ull - static_cast<unsigned long long>(n) : n;
        do {
            digits[count++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (n < 0) {
            *this << "-";
        }
        while (count > 0 && length < static_cast<int>(sizeof text) - 2) {
            text[length++] = digits[--count];
        }
        return *this;
    }
    void writeTo(HANDLE file) {
        text[length] = '\n';
        DWORD written = 0;
        WriteFile(file, text, static_cast<DWORD>(length + 1), &written, nullptr);
        text[length] = 0;
    }
};

// Check lines, which the runners read: "ok NAME", "FAILED NAME: DETAIL" or "skipped NAME: WHY".
HANDLE checks;
int failures = 0;

void check(const char* name, bool ok, const Line& detail) {
    Line line;
    line << (ok ? "ok " : "FAILED ") << name;
    if (!ok) {
        line << ": " << detail.text;
        ++failures;
    }
    line.writeTo(checks);
}

void check(const char* name, bool ok) {
    Line none;
    check(name, ok, none);
}

void skip(const char* name, const char* why) {
    Line line;
    line << "skipped " << name << ": " << why;
    line.writeTo(checks);
}

// The next argument of a command line, quotes removed; returns where the rest begins.
const wchar_t* nextArgument(const wchar_t* p, wchar_t* argument, int capacity) {
    while (*p == L' ' || *p == L'\t') {
        ++p;
    }
    bool quoted = false;
    int length = 0;
    for (; *p != 0 && (quoted || (*p != L' ' && *p != L'\t')); ++p) {
        if (*p == L'"') {
            quoted = !quoted;
        } else if (length < capacity - 1) {
            argument[length++] = *p;
        }
    }
    argument[length] = 0;
    return p;
}

// Whether this program runs under Wine, whose gaps its checks report as skipped rather than failed.
inline bool underWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

#endif
