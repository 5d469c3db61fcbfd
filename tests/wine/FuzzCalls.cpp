// Random calls into the real DLL on Wine from several threads: handle values drawn from 0,
// -1, 1, -2, a closed handle, file and pipe handles, a console screen buffer and random 64-bit
// values; lengths from negative to past the array. Every result must be a legal value and
// no call may crash. allocConsole and freeConsole take no arguments and would detach the
// console the other calls use, so they are left out.
//
// Usage: wine_fuzz tirk-console.dll CALLS THREADS SEED RESULT_FILE
// The result file gets one line: "calls N illegal M", then one line per illegal result.
#include "Bridge.h"
#include "FakeJni.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Random {
    std::uint64_t state;
    std::uint64_t next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
    std::uint64_t below(std::uint64_t n) { return next() % n; }
};

std::mutex reportLock;
std::vector<std::string> illegal;

void flag(const std::string& what) {
    std::lock_guard<std::mutex> lock(reportLock);
    if (illegal.size() < 50) {
        illegal.push_back(what);
    }
}

bool isWaitResult(jint r) {
    return r == 0 || r == 0x80 || r == 0x102 || r == -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: wine_fuzz tirk-console.dll CALLS THREADS SEED RESULT_FILE\n");
        return 2;
    }
    Bridge dll = loadBridge(argv[1]);
    const long long calls = std::atoll(argv[2]);
    const int threads = std::atoi(argv[3]);
    const std::uint64_t seed = std::strtoull(argv[4], nullptr, 10);

    HANDLE closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(closed);
    wchar_t folder[MAX_PATH];
    wchar_t path[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"trk", 0, path);
    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE,
                              nullptr);
    HANDLE pipeRead = nullptr;
    HANDLE pipeWrite = nullptr;
    CreatePipe(&pipeRead, &pipeWrite, nullptr, 1 << 16);
    HANDLE screen = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              CONSOLE_TEXTMODE_BUFFER, nullptr);
    const jlong pool[] = {0, -1, 1, -2, reinterpret_cast<INT_PTR>(closed), reinterpret_cast<INT_PTR>(file),
                          reinterpret_cast<INT_PTR>(pipeRead), reinterpret_cast<INT_PTR>(pipeWrite),
                          reinterpret_cast<INT_PTR>(screen)};
    const jint selectors[] = {-10, -11, -12, 0, -13, 1, INT32_MIN, INT32_MAX};

    std::atomic<long long> made{0};
    auto work = [&](int index) {
        Random random{seed * 0x9E3779B97F4A7C15ull + static_cast<std::uint64_t>(index) + 1};
        FakeJni jni;
        const std::u16string texts[] = {u"", u"x", std::u16string(100, u'y')};
        for (long long i = index; i < calls; i += threads) {
            jlong handle = random.below(4) == 0 ? static_cast<jlong>(random.next())
                                                : pool[random.below(sizeof pool / sizeof pool[0])];
            switch (random.below(9)) {
            case 0: {
                jlong r = dll.getStdHandle(&jni, nullptr, selectors[random.below(8)]);
                if (r == 0) flag("getStdHandle returned 0");
                break;
            }
            case 1: {
                jintArray r = dll.readConsoleInputEvent(&jni, nullptr, handle);
                std::vector<jint> v = jni.ints(r);
                if (r != nullptr && !((v.size() == 6 && (v[0] == 1 || v[0] == 2)) || (v.size() == 3 && v[0] == 4)))
                    flag("readConsoleInputEvent returned a malformed array");
                break;
            }
            case 2: {
                jint r = dll.getNumberOfConsoleInputEvents(&jni, nullptr, handle);
                if (r < -1) flag("getNumberOfConsoleInputEvents returned " + std::to_string(r));
                break;
            }
            case 3: {
                jint r = dll.waitForSingleObject(&jni, nullptr, handle, static_cast<jint>(random.below(2)));
                if (!isWaitResult(r)) flag("waitForSingleObject returned " + std::to_string(r));
                break;
            }
            case 4: {
                int kind = static_cast<int>(random.below(4));
                jcharArray chars = kind == 0 ? nullptr : jni.newCharArray(texts[kind - 1]);
                jint length = static_cast<jint>(random.below(4) == 0 ? random.next() : random.below(106)) - 3;
                jboolean r = dll.writeConsole(&jni, nullptr, handle, chars, length);
                if (r > 1) flag("writeConsole returned " + std::to_string(r));
                if (jni.elementsHeld != 0) flag("writeConsole kept the elements");
                break;
            }
            case 5: {
                jintArray r = dll.getConsoleSize(&jni, nullptr, handle);
                std::vector<jint> v = jni.ints(r);
                if (r != nullptr && (v.size() != 2 || v[0] < 1 || v[1] < 1))
                    flag("getConsoleSize returned a malformed array");
                break;
            }
            case 6:
                dll.getConsoleMode(&jni, nullptr, handle);  // every int is a possible mode
                break;
            case 7: {
                jboolean r = dll.setConsoleMode(&jni, nullptr, handle, static_cast<jint>(random.next()));
                if (r > 1) flag("setConsoleMode returned " + std::to_string(r));
                break;
            }
            default: {
                jint r = dll.getConsoleOutputCP(&jni, nullptr);
                if (r == 0 || r < -1) flag("getConsoleOutputCP returned " + std::to_string(r));
                break;
            }
            }
            for (const std::string& call : jni.calls) {
                if (call.rfind("ReleaseCharArrayElements", 0) == 0 && call != "ReleaseCharArrayElements(JNI_ABORT)")
                    flag("elements released with " + call);
            }
            jni.forget();
            ++made;
        }
    };
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back(work, t);
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    std::FILE* out = std::fopen(argv[5], "w");
    std::fprintf(out, "calls %lld illegal %zu\n", made.load(), illegal.size());
    for (const std::string& what : illegal) {
        std::fprintf(out, "%s\n", what.c_str());
    }
    std::fclose(out);
    return 0;
}
