// libFuzzer target: drives every entry point over the stand-in console with fuzzed handle
// values, lengths, arrays, raw console records, platform results and JNI failures, and
// checks on every call that the result is exactly the one the inputs call for, that
// booleans are 0 or 1, that borrowed elements go back once with JNI_ABORT, and that no
// JNI call follows a JNI failure.
#include "ConsoleRecords.h"
#include "FakeJni.h"
#include "StandInConsole.h"
#include "org_tirk_terminal_tty_impl_WinConsoleNative.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

jlong fuzzedHandle(FuzzedDataProvider& in) {
    static const jlong interesting[] = {0, -1, 1, -2, 0x1234, INT64_MIN, INT64_MAX, 0xFFFFFFFF, 0x100000000};
    return in.ConsumeBool() ? interesting[in.ConsumeIntegralInRange<size_t>(0, 8)] : in.ConsumeIntegral<jlong>();
}

INPUT_RECORD fuzzedRecord(FuzzedDataProvider& in) {
    static const WORD kinds[] = {KEY_EVENT, MOUSE_EVENT, WINDOW_BUFFER_SIZE_EVENT, MENU_EVENT, FOCUS_EVENT};
    INPUT_RECORD record;
    std::vector<std::uint8_t> bytes = in.ConsumeBytes<std::uint8_t>(sizeof record);
    bytes.resize(sizeof record);
    std::memcpy(&record, bytes.data(), sizeof record);
    if (in.ConsumeBool()) {
        record.EventType = kinds[in.ConsumeIntegralInRange<size_t>(0, 4)];
    }
    return record;
}

void checkArray(FakeJni& jni, jintArray array, const jint* expected, jsize length, bool wantArray) {
    if (!wantArray) {
        require(array == nullptr && jni.calls.empty(), "null, and no JNI call, where no array is due");
        return;
    }
    if (jni.failNewIntArray) {
        require(array == nullptr && jni.calls == std::vector<std::string>{"NewIntArray(" + std::to_string(length) + ")"},
                "a failed allocation ends the call at once");
        return;
    }
    std::vector<jint> values = jni.ints(array);
    require(values.size() == static_cast<size_t>(length) && std::equal(values.begin(), values.end(), expected),
            "array holds exactly the encoded values");
    require(jni.calls.size() == 2, "one allocation and one copy");
}

void fuzzOneCall(FuzzedDataProvider& in) {
    standin::reset();
    standin::Console& console = standin::console();
    console.logging = true;
    console.result = in.ConsumeBool() ? TRUE : in.ConsumeIntegral<BOOL>();
    console.stdHandle = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fuzzedHandle(in)));
    console.count = in.ConsumeIntegral<DWORD>();
    console.waitResult = in.ConsumeIntegral<DWORD>();
    console.writeLimit = in.ConsumeBool() ? 0xFFFFFFFFu : in.ConsumeIntegral<DWORD>();
    console.mode = in.ConsumeIntegral<DWORD>();
    console.codePage = in.ConsumeIntegral<UINT>();
    console.bufferInfo.srWindow = SMALL_RECT{in.ConsumeIntegral<SHORT>(), in.ConsumeIntegral<SHORT>(),
                                             in.ConsumeIntegral<SHORT>(), in.ConsumeIntegral<SHORT>()};
    bool haveRecord = in.ConsumeBool();
    INPUT_RECORD record = fuzzedRecord(in);
    if (haveRecord) {
        console.input.push_back(record);
    }
    FakeJni jni;
    jni.failNewIntArray = in.ConsumeBool();
    jni.failGetCharArrayElements = in.ConsumeBool();
    jclass cls = nullptr;
    const jlong handle = fuzzedHandle(in);
    const bool unusable = tirk::isUnusableHandle(handle);
    const bool ok = console.result != FALSE;

    const int entry = in.ConsumeIntegralInRange(0, 10);
    const bool takesHandle = entry >= 1 && entry <= 7;
    switch (entry) {
    case 0: {
        jlong result = Java_org_tirk_terminal_tty_impl_WinConsoleNative_getStdHandle(&jni, cls, in.ConsumeIntegral<jint>());
        jlong platform = tirk::toHandleValue(console.stdHandle);
        require(result == (tirk::isUnusableHandle(platform) ? -1 : platform), "getStdHandle");
        require(result != 0, "getStdHandle never returns 0");
        break;
    }
    case 1: {
        jintArray result = Java_org_tirk_terminal_tty_impl_WinConsoleNative_readConsoleInputEvent(&jni, cls, handle);
        jint expected[tirk::maxInputEventLength];
        jsize length = tirk::encodeInputEvent(record, expected);
        checkArray(jni, result, expected, length, !unusable && ok && haveRecord && length != 0);
        require(length == 0 || length == 6 || length == 3, "arrays of six or three");
        require(!haveRecord || console.input.empty() == (!unusable && ok), "the record is consumed exactly when read");
        break;
    }
    case 2: {
        jint result = Java_org_tirk_terminal_tty_impl_WinConsoleNative_getNumberOfConsoleInputEvents(&jni, cls, handle);
        require(result == (unusable || !ok ? -1 : static_cast<jint>(console.count)), "getNumberOfConsoleInputEvents");
        break;
    }
    case 3: {
        jint result = Java_org_tirk_terminal_tty_impl_WinConsoleNative_waitForSingleObject(&jni, cls, handle,
                                                                                         in.ConsumeIntegral<jint>());
        require(result == (unusable ? -1 : static_cast<jint>(console.waitResult)), "waitForSingleObject");
        break;
    }
    case 4: {
        jint arrayKind = in.ConsumeIntegralInRange(0, 3);  // null, empty, short, long
        std::u16string text = arrayKind == 2 ? u"ab" : arrayKind == 3 ? std::u16string(300, u'\xD83D') : u"";
        jcharArray chars = arrayKind == 0 ? nullptr : jni.newCharArray(text);
        jint length = in.ConsumeBool() ? in.ConsumeIntegralInRange<jint>(-2, 302) : in.ConsumeIntegral<jint>();
        jboolean result = Java_org_tirk_terminal_tty_impl_WinConsoleNative_writeConsole(&jni, cls, handle, chars, length);
        bool checked = !unusable && chars != nullptr && length >= 0;
        bool argumentsFit = checked && static_cast<size_t>(length) <= text.size();
        bool wrote = argumentsFit && !jni.failGetCharArrayElements;
        require(result == (wrote && ok && console.writeLimit >= static_cast<DWORD>(length) ? 1 : 0), "writeConsole");
        std::vector<std::string> expectedJni;
        if (checked) {
            expectedJni.push_back("GetArrayLength");
        }
        if (argumentsFit) {
            expectedJni.push_back("GetCharArrayElements(null)");
        }
        if (wrote) {
            expectedJni.push_back("ReleaseCharArrayElements(JNI_ABORT)");
        }
        require(jni.calls == expectedJni, "writeConsole's JNI calls, with nothing after a failure");
        require(console.calls.size() == (wrote ? 1u : 0u), "a write exactly when the elements were had");
        require(jni.elementsHeld == 0 && !jni.elementsChanged, "elements only read, and released once");
        break;
    }
    case 5: {
        jintArray result = Java_org_tirk_terminal_tty_impl_WinConsoleNative_getConsoleSize(&jni, cls, handle);
        jint expected[tirk::consoleSizeLength];
        tirk::encodeConsoleSize(console.bufferInfo.srWindow, expected);
        checkArray(jni, result, expected, tirk::consoleSizeLength, !unusable && ok);
        break;
    }
    case 6: {
        jint result = Java_org_tirk_terminal_tty_impl_WinConsoleNative_getConsoleMode(&jni, cls, handle);
        require(result == (unusable || !ok ? -1 : static_cast<jint>(console.mode)), "getConsoleMode");
        break;
    }
    case 7: {
        jboolean result =
            Java_org_tirk_terminal_tty_impl_WinConsoleNative_setConsoleMode(&jni, cls, handle, in.ConsumeIntegral<jint>());
        require(result == (!unusable && ok ? 1 : 0), "setConsoleMode");
        break;
    }
    case 8: {
        jint result = Java_org_tirk_terminal_tty_impl_WinConsoleNative_getConsoleOutputCP(&jni, cls);
        require(result == (console.codePage == 0 ? -1 : static_cast<jint>(console.codePage)), "getConsoleOutputCP");
        break;
    }
    case 9:
        require(Java_org_tirk_terminal_tty_impl_WinConsoleNative_allocConsole(&jni, cls) == (ok ? 1 : 0), "allocConsole");
        break;
    default:
        require(Java_org_tirk_terminal_tty_impl_WinConsoleNative_freeConsole(&jni, cls) == (ok ? 1 : 0), "freeConsole");
        break;
    }
    require(!(takesHandle && unusable) || (console.calls.empty() && jni.calls.empty()),
            "an unusable handle reaches neither the platform nor JNI");
    require(console.calls.size() <= 1, "at most one platform call");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    while (in.remaining_bytes() > 0) {
        fuzzOneCall(in);
    }
    return 0;
}
