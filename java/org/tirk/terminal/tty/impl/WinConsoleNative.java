package org.tirk.terminal.tty.impl;

/**
 * Direct access to the Windows console through {@code tirk-console.dll}.
 *
 * <p>Each method makes at most one Win32 call and reports failure by a fixed value: -1 for an
 * {@code int} or {@code long} result, {@code false} for a {@code boolean}, {@code null} for an
 * {@code int[]}. Handles travel as {@code long} values with all 64 bits intact; 0 and -1 are never
 * passed to the platform. Values of 32 bits (modes, counts, code pages) keep their bit pattern, so
 * values of 2^31 and above arrive negative.
 */
public final class WinConsoleNative {

    static {
        System.loadLibrary("tirk-console");
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
