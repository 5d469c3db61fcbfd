// Reads typed keys through the bridge, as a terminal program would, and writes each input
// event array as a line of numbers to a result file. Driven by typed_input_test.py, which
// types into the pseudo-terminal this program's console runs in.
//
// Usage: typed_reader tirk-console.dll RESULT_FILE
// The first line of the result file is "ready" once input is being read; reading ends a
// moment after Enter is pressed, or after ten seconds without input.
#include "Bridge.h"
#include "FakeJni.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: typed_reader tirk-console.dll RESULT_FILE\n");
        return 2;
    }
    Bridge dll = loadBridge(argv[1]);
    FakeJni jni;
    jlong input = dll.getStdHandle(&jni, nullptr, -10);
    jint saved = dll.getConsoleMode(&jni, nullptr, input);
    if (saved == -1 ||
        !dll.setConsoleMode(&jni, nullptr, input, saved & ~(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_PROCESSED_INPUT))) {
        std::fprintf(stderr, "cannot set the console mode\n");
        return 1;
    }
    std::FILE* out = std::fopen(argv[2], "w");
    std::fprintf(out, "ready\n");
    std::fflush(out);
    jint timeout = 10000;
    while (dll.waitForSingleObject(&jni, nullptr, input, timeout) == WAIT_OBJECT_0) {
        jintArray event = dll.readConsoleInputEvent(&jni, nullptr, input);
        if (event == nullptr) {
            continue;
        }
        for (jint value : jni.ints(event)) {
            std::fprintf(out, "%ld ", static_cast<long>(value));
        }
        std::fprintf(out, "\n");
        std::fflush(out);
        std::vector<jint> values = jni.ints(event);
        if (values[0] == KEY_EVENT && values[3] == VK_RETURN) {
            timeout = 500;
        }
    }
    dll.setConsoleMode(&jni, nullptr, input, saved);
    std::fclose(out);
    return 0;
}
