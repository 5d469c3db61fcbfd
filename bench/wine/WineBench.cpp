// Times each entry point of tirk-console.dll against the bare Win32 call it makes, in the
// same program and run, on Wine's console; and writeConsole's throughput against
// WriteConsoleW. The JNI environment is a lean one (no logging, a fixed array buffer,
// elements pinned in place), so that the time measured is the bridge's and the platform's.
//
// Usage: wine_bench tirk-console.dll ROUNDS SCALE RESULT_FILE
// Each result line: name <TAB> ns per call through the DLL <TAB> ns direct <TAB> spread (%).
#include "Bridge.h"
#include "InputRecords.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace {

// A JNI environment with just the five functions the bridge uses, as cheap as they can be.
struct LeanJni : JNIEnv_ {
    JNINativeInterface_ table{};
    jint ints[8]{};
    std::vector<jchar> chars;

    LeanJni() {
        table.NewIntArray = [](JNIEnv* env, jsize) { return reinterpret_cast<jintArray>(static_cast<LeanJni*>(env)->ints); };
        table.SetIntArrayRegion = [](JNIEnv*, jintArray array, jsize start, jsize length, const jint* values) {
            std::memcpy(reinterpret_cast<jint*>(array) + start, values, sizeof(jint) * static_cast<size_t>(length));
        };
        table.GetArrayLength = [](JNIEnv* env, jarray) { return static_cast<jsize>(static_cast<LeanJni*>(env)->chars.size()); };
        table.GetCharArrayElements = [](JNIEnv* env, jcharArray, jboolean*) { return static_cast<LeanJni*>(env)->chars.data(); };
        table.ReleaseCharArrayElements = [](JNIEnv*, jcharArray, jchar*, jint) {};
        functions = &table;
    }
};

double now() {
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) * 1e9 / static_cast<double>(frequency.QuadPart);
}

double median(std::vector<double> values) {
    std::nth_element(values.begin(), values.begin() + static_cast<long>(values.size() / 2), values.end());
    return values[values.size() / 2];
}

// Runs `prepare` untimed, then `calls` calls of each side, alternating sides over `rounds`
// rounds, and writes a result line: ns per call each way, or with `perSecond` calls per second
// each way; then the largest distance of a round's ratio from the median ratio, in %.
void compare(std::FILE* out, const char* name, int rounds, int calls, bool perSecond,
             const std::function<void()>& prepare, const std::function<void()>& bridged,
             const std::function<void()>& direct) {
    std::vector<double> a;
    std::vector<double> b;
    std::vector<double> ratios;
    for (int round = 0; round < rounds + 1; ++round) {
        double times[2];
        for (int side = 0; side < 2; ++side) {
            const int which = (round + side) % 2;  // 0: through the DLL, 1: direct; first side alternates
            prepare();
            double start = now();
            for (int i = 0; i < calls; ++i) {
                (which == 0 ? bridged : direct)();
            }
            times[which] = (now() - start) / calls;
        }
        if (round > 0) {  // the first round warms up
            a.push_back(perSecond ? 1e9 / times[0] : times[0]);
            b.push_back(perSecond ? 1e9 / times[1] : times[1]);
            ratios.push_back(a.back() / b.back());
        }
    }
    double ratio = median(ratios);
    double spread = 0;
    for (double r : ratios) {
        spread = std::max(spread, std::abs(r - ratio) / ratio * 100);
    }
    std::fprintf(out, "%s\t%s\t%.1f\t%.1f\t%.1f\n", perSecond ? "throughput" : "call", name, median(a), median(b),
                 spread);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: wine_bench tirk-console.dll ROUNDS SCALE RESULT_FILE\n");
        return 2;
    }
    Bridge dll{};
    HMODULE module = LoadLibraryA(argv[1]);
    if (module == nullptr || resolveBridge(module, dll) != nullptr) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 2;
    }
    const int rounds = std::atoi(argv[2]);
    const int scale = std::atoi(argv[3]);
    LeanJni jni;
    jclass cls = nullptr;
    HANDLE input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    // A screen buffer that is not shown, so that writes stay inside the console.
    HANDLE screen = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              CONSOLE_TEXTMODE_BUFFER, nullptr);
    SetConsoleScreenBufferSize(screen, COORD{200, 2000});
    const jlong in = reinterpret_cast<INT_PTR>(input);
    const jlong out = reinterpret_cast<INT_PTR>(screen);
    DWORD value = 0;
    volatile jint sink = 0;
    auto nothing = [] {};
    const int calls = 200 * scale;

    std::vector<INPUT_RECORD> records(static_cast<size_t>(calls), keyRecord(TRUE, 1, 0x41, L'a', 0));
    auto refill = [&] {
        FlushConsoleInputBuffer(input);
        DWORD written = 0;
        WriteConsoleInputW(input, records.data(), static_cast<DWORD>(records.size()), &written);
    };
    auto home = [&] { SetConsoleCursorPosition(screen, COORD{0, 0}); };

    std::FILE* file = std::fopen(argv[4], "w");
    compare(file, "getConsoleMode", rounds, calls, false, nothing,
        [&] { sink = dll.getConsoleMode(&jni, cls, in); },
        [&] { sink = GetConsoleMode(input, &value) ? static_cast<jint>(value) : -1; });
    compare(file, "getNumberOfConsoleInputEvents", rounds, calls, false, nothing,
        [&] { sink = dll.getNumberOfConsoleInputEvents(&jni, cls, in); },
        [&] { sink = GetNumberOfConsoleInputEvents(input, &value); });
    compare(file, "waitForSingleObject (0 ms)", rounds, calls, false, nothing,
        [&] { sink = dll.waitForSingleObject(&jni, cls, in, 0); },
        [&] { sink = static_cast<jint>(WaitForSingleObject(input, 0)); });
    compare(file, "getConsoleOutputCP", rounds, calls, false, nothing,
        [&] { sink = dll.getConsoleOutputCP(&jni, cls); },
        [&] { sink = static_cast<jint>(GetConsoleOutputCP()); });
    CONSOLE_SCREEN_BUFFER_INFO info;
    compare(file, "getConsoleSize", rounds, calls, false, nothing,
        [&] { sink = dll.getConsoleSize(&jni, cls, out) != nullptr; },
        [&] { sink = GetConsoleScreenBufferInfo(screen, &info); });
    INPUT_RECORD record;
    compare(file, "readConsoleInputEvent (injected records)", rounds, calls, false, refill,
        [&] { sink = dll.readConsoleInputEvent(&jni, cls, in) != nullptr; },
        [&] { sink = ReadConsoleInputW(input, &record, 1, &value); });
    // The lean environment ignores which array it is given, but the bridge refuses null.
    const jcharArray text = reinterpret_cast<jcharArray>(&jni.chars);
    jni.chars.assign(64, u'x');
    compare(file, "writeConsole (64 code units)", rounds, calls / 4, false, home,
        [&] { sink = dll.writeConsole(&jni, cls, out, text, 64); },
        [&] { sink = WriteConsoleW(screen, jni.chars.data(), 64, &value, nullptr); });
    jni.chars.assign(65536, u'x');
    compare(file, "writeConsole (64 Ki code units)", rounds, 2 * scale, false, home,
        [&] { sink = dll.writeConsole(&jni, cls, out, text, 65536); },
        [&] { sink = WriteConsoleW(screen, jni.chars.data(), 65536, &value, nullptr); });
    // Throughput: MiB/s of UTF-16 text (512 Ki code units a MiB) in calls of 64 Ki code units.
    compare(file, "writeConsole 1 MiB in 64 Ki-unit calls", rounds, 1, true, home,
        [&] { for (int i = 0; i < 8; ++i) sink = dll.writeConsole(&jni, cls, out, text, 65536); },
        [&] { for (int i = 0; i < 8; ++i) sink = WriteConsoleW(screen, jni.chars.data(), 65536, &value, nullptr); });
    std::fclose(file);
    return 0;
}
