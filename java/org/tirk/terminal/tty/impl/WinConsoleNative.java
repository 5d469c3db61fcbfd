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
 * <p>The class loads the native library when it is first used, from, in turn: the file named by
 * {@code -Dtirk.console.library=PATH}; with {@code -Dtirk.console.useLibraryPath=true} only,
 * {@code tirk-console} on {@code java.library.path}; the library inside the jar for this
 * platform (windows-x86-64 or windows-aarch64), checked against its SHA-256 and extracted once
 * into a per-user cache folder ({@code -Dtirk.console.cache=DIR} chooses another); and, only when
 * the jar holds nothing for this platform, {@code java.library.path}. With
 * {@code -Dtirk.console.debug=true} each step and the file loaded are printed to
 * {@code System.err}. A library that cannot be loaded makes the first call throw an
 * {@link UnsatisfiedLinkError} that says what was found and which property helps.
 */
public final class WinConsoleNative {

    /** Selector of {@link #getStdHandle} for the standard input handle. */
    public static final int STD_INPUT_HANDLE = -10;
    /** Selector of {@link #getStdHandle} for the standard output handle. */
    public static final int STD_OUTPUT_HANDLE = -11;
    /** Selector of {@link #getStdHandle} for the standard error handle. */
    public static final int STD_ERROR_HANDLE = -12;

    /** Result of {@link #waitForSingleObject}: the handle is signalled (for console input: input is pending). */
    public static final int WAIT_OBJECT_0 = 0;
    /** Result of {@link #waitForSingleObject}: a mutex was abandoned by the thread that owned it. */
    public static final int WAIT_ABANDONED = 0x80;
    /** Result of {@link #waitForSingleObject}: the time-out elapsed. */
    public static final int WAIT_TIMEOUT = 0x102;
    /** Result of {@link #waitForSingleObject}: the wait failed (or the handle was 0 or -1). */
    public static final int WAIT_FAILED = -1;
    /** Time-out of {@link #waitForSingleObject} that never expires. */
    public static final int INFINITE = -1;

    /** Element 0 of an input event array for a key record. */
    public static final int KEY_EVENT = 0x1;
    /** Element 0 of an input event array for a mouse record. */
    public static final int MOUSE_EVENT = 0x2;
    /** Element 0 of an input event array for a window-resize record. */
    public static final int WINDOW_BUFFER_SIZE_EVENT = 0x4;

    /** Input mode bit: Ctrl+C and similar keys are handled by the console. */
    public static final int ENABLE_PROCESSED_INPUT = 0x1;
    /** Input mode bit: reads return only whole lines. */
    public static final int ENABLE_LINE_INPUT = 0x2;
    /** Input mode bit: typed characters are echoed (with line input). */
    public static final int ENABLE_ECHO_INPUT = 0x4;
    /** Input mode bit: window-resize records are delivered. */
    public static final int ENABLE_WINDOW_INPUT = 0x8;
    /** Input mode bit: mouse records are delivered. */
    public static final int ENABLE_MOUSE_INPUT = 0x10;
    /** Input mode bit: insert rather than overwrite when editing a line. */
    public static final int ENABLE_INSERT_MODE = 0x20;
    /** Input mode bit: the mouse selects text (with {@link #ENABLE_EXTENDED_FLAGS}). */
    public static final int ENABLE_QUICK_EDIT_MODE = 0x40;
    /** Input mode bit: needed to change {@link #ENABLE_QUICK_EDIT_MODE} and {@link #ENABLE_INSERT_MODE}. */
    public static final int ENABLE_EXTENDED_FLAGS = 0x80;
    /** Input mode bit: keys arrive as virtual terminal sequences. */
    public static final int ENABLE_VIRTUAL_TERMINAL_INPUT = 0x200;

    /** Output mode bit: control characters such as backspace and newline are acted on. */
    public static final int ENABLE_PROCESSED_OUTPUT = 0x1;
    /** Output mode bit: the cursor wraps at the end of a row. */
    public static final int ENABLE_WRAP_AT_EOL_OUTPUT = 0x2;
    /** Output mode bit: virtual terminal sequences in the output are acted on. */
    public static final int ENABLE_VIRTUAL_TERMINAL_PROCESSING = 0x4;
    /** Output mode bit: a line feed does not also return the cursor to the row's start. */
    public static final int DISABLE_NEWLINE_AUTO_RETURN = 0x8;

    /** Control-key state bit: the right Alt key is down. */
    public static final int RIGHT_ALT_PRESSED = 0x1;
    /** Control-key state bit: the left Alt key is down. */
    public static final int LEFT_ALT_PRESSED = 0x2;
    /** Control-key state bit: the right Ctrl key is down. */
    public static final int RIGHT_CTRL_PRESSED = 0x4;
    /** Control-key state bit: the left Ctrl key is down. */
    public static final int LEFT_CTRL_PRESSED = 0x8;
    /** Control-key state bit: a Shift key is down. */
    public static final int SHIFT_PRESSED = 0x10;
    /** Control-key state bit: the key is one of the enhanced keys (arrows, Insert, Home and the like). */
    public static final int ENHANCED_KEY = 0x100;

    static {
        NativeLibrary.load();
    }

    private WinConsoleNative() {
    }

    /**
     * {@code GetStdHandle}: one of the process's standard handles.
     *
     * @param which {@link #STD_INPUT_HANDLE}, {@link #STD_OUTPUT_HANDLE} or {@link #STD_ERROR_HANDLE}
     * @return the handle, or -1 if the process has none (never 0)
     */
    public static native long getStdHandle(int which);

    /**
     * {@code ReadConsoleInputW} for one record, blocking while the input buffer is empty.
     *
     * @param handle a console input handle
     * @return for a key record {@code {1, down (1 or 0), repeat count, virtual-key code, UTF-16 unit,
     *     control-key state}}; for a mouse record {@code {2, column, row, button state, control-key
     *     state, event flags}}; for a window-resize record {@code {4, columns, rows}} of the screen
     *     buffer; {@code null} for any other record (which is consumed) and on any failure
     */
    public static native int[] readConsoleInputEvent(long handle);

    /**
     * {@code GetNumberOfConsoleInputEvents}: counts the records waiting, taking none.
     *
     * @param handle a console input handle
     * @return the number of records waiting (0 when none), or -1
     */
    public static native int getNumberOfConsoleInputEvents(long handle);

    /**
     * {@code WaitForSingleObject}: waits until the handle is signalled; for a console input handle,
     * until input is pending.
     *
     * @param handle any waitable handle
     * @param milliseconds how long to wait at most; 0 tests and returns at once, {@link #INFINITE} waits
     *     without limit
     * @return {@link #WAIT_OBJECT_0}, {@link #WAIT_ABANDONED}, {@link #WAIT_TIMEOUT} or {@link #WAIT_FAILED}
     */
    public static native int waitForSingleObject(long handle, int milliseconds);

    /**
     * {@code WriteConsoleW} of {@code chars[0..length)}, in one platform call.
     *
     * @param handle a console screen buffer handle
     * @param chars UTF-16 code units; only read
     * @param length how many code units to write, from index 0
     * @return true only if every code unit was written; false for a null array, a length outside the
     *     array, a handle that is not a console screen buffer, or a short write
     */
    public static native boolean writeConsole(long handle, char[] chars, int length);

    /**
     * {@code GetConsoleScreenBufferInfo}: the size of the visible window, not of the buffer behind it.
     *
     * @param handle a console screen buffer handle
     * @return {@code {columns, rows}}, or {@code null}
     */
    public static native int[] getConsoleSize(long handle);

    /**
     * {@code GetConsoleMode}: the handle's mode bits.
     *
     * @param handle a console input or screen buffer handle
     * @return the mode bits, or -1
     */
    public static native int getConsoleMode(long handle);

    /**
     * {@code SetConsoleMode}: sets the handle's mode bits, passed on unchanged.
     *
     * @param handle a console input or screen buffer handle
     * @param mode the mode bits
     * @return true if the platform accepted the mode
     */
    public static native boolean setConsoleMode(long handle, int mode);

    /**
     * {@code GetConsoleOutputCP}: the console's output code page.
     *
     * @return the code page (65001 for UTF-8), or -1 (never 0)
     */
    public static native int getConsoleOutputCP();

    /**
     * {@code AllocConsole}: attaches a new console to the process.
     *
     * @return true if a console was attached; false if the process already has one or the platform refused
     */
    public static native boolean allocConsole();

    /**
     * {@code FreeConsole}: detaches the process from its console.
     *
     * @return true if the platform reports the process detached
     */
    public static native boolean freeConsole();
}
