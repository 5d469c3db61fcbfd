// The pure half of the console bridge: which handle values are refused, and how
// console records become the int arrays handed to Java. Nothing here calls the platform.
#ifndef TIRK_CONSOLE_RECORDS_H
#define TIRK_CONSOLE_RECORDS_H

// Only the platform's and JNI's headers: the library links no C or C++ runtime, so it
// uses the platform's own integer types.
#include <windows.h>
#include <jni.h>

namespace tirk {

// Key and mouse records carry six values, window-resize records three.
constexpr jsize keyEventLength = 6;
constexpr jsize mouseEventLength = 6;
constexpr jsize windowEventLength = 3;
constexpr jsize maxInputEventLength = 6;
constexpr jsize consoleSizeLength = 2;

// 0 (a null handle) and -1 (INVALID_HANDLE_VALUE) are the platform's two ways of saying
// "no handle"; both are refused before any call. As unsigned 64-bit numbers, adding one
// maps exactly these two onto 1 and 0.
constexpr bool isUnusableHandle(jlong handle) {
    return static_cast<DWORD64>(handle) + 1 <= 1;
}

inline HANDLE toHandle(jlong handle) {
    return reinterpret_cast<HANDLE>(static_cast<INT_PTR>(handle));
}

inline jlong toHandleValue(HANDLE handle) {
    return static_cast<jlong>(reinterpret_cast<INT_PTR>(handle));
}

// Fills `values` with the input event array of `record` and returns its length, or 0 for
// a record kind that Java is not told about (focus and menu records among them).
// WORD and WCHAR fields are unsigned and so zero-extend; SHORT fields sign-extend;
// DWORD fields keep their 32-bit pattern. Key records come first: they are most of what a
// terminal reads.
inline jsize encodeInputEvent(const INPUT_RECORD& record, jint (&values)[maxInputEventLength]) {
    switch (record.EventType) {
    case KEY_EVENT: [[likely]] {
        const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
        values[0] = KEY_EVENT;
        values[1] = key.bKeyDown != 0 ? 1 : 0;
        values[2] = key.wRepeatCount;
        values[3] = key.wVirtualKeyCode;
        values[4] = static_cast<WORD>(key.uChar.UnicodeChar);
        values[5] = static_cast<jint>(key.dwControlKeyState);
        return keyEventLength;
    }
    case MOUSE_EVENT: {
        const MOUSE_EVENT_RECORD& mouse = record.Event.MouseEvent;
        values[0] = MOUSE_EVENT;
        values[1] = mouse.dwMousePosition.X;
        values[2] = mouse.dwMousePosition.Y;
        values[3] = static_cast<jint>(mouse.dwButtonState);
        values[4] = static_cast<jint>(mouse.dwControlKeyState);
        values[5] = static_cast<jint>(mouse.dwEventFlags);
        return mouseEventLength;
    }
    case WINDOW_BUFFER_SIZE_EVENT: {
        const COORD& size = record.Event.WindowBufferSizeEvent.dwSize;
        values[0] = WINDOW_BUFFER_SIZE_EVENT;
        values[1] = size.X;
        values[2] = size.Y;
        return windowEventLength;
    }
    default:
        return 0;
    }
}

// Columns and rows of the visible window. SHORT members promote to int, so the
// arithmetic is on sign-extended 32-bit values and cannot overflow.
inline void encodeConsoleSize(const SMALL_RECT& window, jint (&values)[consoleSizeLength]) {
    values[0] = window.Right - window.Left + 1;
    values[1] = window.Bottom - window.Top + 1;
}

}  // namespace tirk

#endif
