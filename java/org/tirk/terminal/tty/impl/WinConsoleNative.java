package org.tirk.terminal.tty.impl;

/**
 * Direct access to the Windows console through {@code tirk-console.dll}.
 *
 * <p>Each method makes at most one Win32 call and reports failure by a fixed value: -1 for an
 * {@code int} or {@code long} result, {@code false} for a {@code boolean}, {@code null} for an
 * {@code int[]}. Handles travel as {@code long} values with all 64 bits intact; 0 and -1 are never
 * passed to the platform. Values of 32 bits (modes, counts, code pages) keep their bit pattern, so
 * values of 2^31 and above arrive negative.
 *
 * <p>The class loads the native library when it is first used; see {@link NativeLibrary} for
 * where it looks and the system properties that steer it.
 */
public final class WinConsoleNative {

    // Selectors for getStdHandle.
    public static final int STD_INPUT_HANDLE = -10;
    public static final int STD_OUTPUT_HANDLE = -11;
    public static final int STD_ERROR_HANDLE = -12;

    // Results of waitForSingleObject, and its time-out that never expires.
    public static final int WAIT_OBJECT_0 = 0;
    public static final int WAIT_ABANDONED = 0x80;
    public static final int WAIT_TIMEOUT = 0x102;
    public static final int WAIT_FAILED = -1;
    public static final int INFINITE = -1;

    // Element 0 of an input event array.
    public static final int KEY_EVENT = 0x1;
    public static final int MOUSE_EVENT = 0x2;
    public static final int WINDOW_BUFFER_SIZE_EVENT = 0x4;

    // Input mode bits.
    public static final int ENABLE_PROCESSED_INPUT = 0x1;
    public static final int ENABLE_LINE_INPUT = 0x2;
    public static final int ENABLE_ECHO_INPUT = 0x4;
    public static final int ENABLE_WINDOW_INPUT = 0x8;
    public static final int ENABLE_MOUSE_INPUT = 0x10;
    public static final int ENABLE_INSERT_MODE = 0x20;
    public static final int ENABLE_QUICK_EDIT_MODE = 0x40;
    public static final int ENABLE_EXTENDED_FLAGS = 0x80;
    public static final int ENABLE_VIRTUAL_TERMINAL_INPUT = 0x200;

    // Output mode bits.
    public static final int ENABLE_PROCESSED_OUTPUT = 0x1;
    public static final int ENABLE_WRAP_AT_EOL_OUTPUT = 0x2;
    public static final int ENABLE_VIRTUAL_TERMINAL_PROCESSING = 0x4;
    public static final int DISABLE_NEWLINE_AUTO_RETURN = 0x8;

    // Bits of the control-key state in key and mouse events.
    public static final int RIGHT_ALT_PRESSED = 0x1;
    public static final int LEFT_ALT_PRESSED = 0x2;
    public static final int RIGHT_CTRL_PRESSED = 0x4;
    public static final int LEFT_CTRL_PRESSED = 0x8;
    public static final int SHIFT_PRESSED = 0x10;
    public static final int ENHANCED_KEY = 0x100;

    static {
        NativeLibrary.load();
    }

    private WinConsoleNative() {
    }

    /** {@code GetStdHandle}: the handle for selector -10, -11 or -12, or -1 if the process has none. */
    public static native long getStdHandle(int which);

    /**
     * {@code ReadConsoleInputW} for one record, blocking while the buffer is empty. Key and mouse
     * records come back as six ints, window-resize records as three; other kinds are consumed and
     * give {@code null}, as does any failure.
     */
    public static native int[] readConsoleInputEvent(long handle);

    /** {@code GetNumberOfConsoleInputEvents}: records waiting in the input buffer, or -1. */
    public static native int getNumberOfConsoleInputEvents(long handle);

    /** {@code WaitForSingleObject}: 0 signalled, 128 abandoned, 258 timed out, -1 failed; -1 ms waits forever. */
    public static native int waitForSingleObject(long handle, int milliseconds);

    /** {@code WriteConsoleW} of {@code chars[0..length)}: true only if every code unit was written. */
    public static native boolean writeConsole(long handle, char[] chars, int length);

    /** Columns and rows of the visible console window, or {@code null}. */
    public static native int[] getConsoleSize(long handle);

    /** {@code GetConsoleMode}: the mode bits, or -1. */
    public static native int getConsoleMode(long handle);

    /** {@code SetConsoleMode}: true if the platform accepted the mode. */
    public static native boolean setConsoleMode(long handle, int mode);

    /** {@code GetConsoleOutputCP}: the output code page, or -1. */
    public static native int getConsoleOutputCP();

    /** {@code AllocConsole}: true if a new console was attached to the process. */
    public static native boolean allocConsole();

    /** {@code FreeConsole}: true if the process was detached from its console. */
    public static native boolean freeConsole();
}
