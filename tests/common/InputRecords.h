// Console input records as tests build them, for the stand-in console and for Wine's.
#ifndef TIRK_INPUT_RECORDS_H
#define TIRK_INPUT_RECORDS_H

#include <windows.h>

inline INPUT_RECORD keyRecord(BOOL down, WORD repeat, WORD virtualKey, WCHAR character, DWORD controlKeys) {
    INPUT_RECORD record{};
    record.EventType = KEY_EVENT;
    record.Event.KeyEvent.bKeyDown = down;
    record.Event.KeyEvent.wRepeatCount = repeat;
    record.Event.KeyEvent.wVirtualKeyCode = virtualKey;
    record.Event.KeyEvent.wVirtualScanCode = 0x1E;
    record.Event.KeyEvent.uChar.UnicodeChar = character;
    record.Event.KeyEvent.dwControlKeyState = controlKeys;
    return record;
}

inline INPUT_RECORD mouseRecord(SHORT x, SHORT y, DWORD buttons, DWORD controlKeys, DWORD flags) {
    INPUT_RECORD record{};
    record.EventType = MOUSE_EVENT;
    record.Event.MouseEvent.dwMousePosition = COORD{x, y};
    record.Event.MouseEvent.dwButtonState = buttons;
    record.Event.MouseEvent.dwControlKeyState = controlKeys;
    record.Event.MouseEvent.dwEventFlags = flags;
    return record;
}

inline INPUT_RECORD windowRecord(SHORT columns, SHORT rows) {
    INPUT_RECORD record{};
    record.EventType = WINDOW_BUFFER_SIZE_EVENT;
    record.Event.WindowBufferSizeEvent.dwSize = COORD{columns, rows};
    return record;
}

inline INPUT_RECORD otherRecord(WORD eventType) {
    INPUT_RECORD record{};
    record.EventType = eventType;
    record.Event.FocusEvent.bSetFocus = TRUE;
    return record;
}

#endif
