package org.tirk.terminal.tty.impl;

import java.util.Arrays;
import java.util.List;

/**
 * Test-only control of the stand-in console that the Linux build of the library runs over:
 * what its Win32 functions answer, the input records they hand out, and the calls they saw.
 */
final class StandIn {

    static {
        try {
            // Loads the library through WinConsoleNative's own loading path.
            Class.forName(WinConsoleNative.class.getName(), true, StandIn.class.getClassLoader());
        } catch (ClassNotFoundException e) {
            throw new AssertionError(e);
        }
    }

    private StandIn() {
    }

    static native void reset();

    static native void queueKey(int down, int repeat, int virtualKey, char character, int controlKeys);

    static native void queueMouse(short x, short y, int buttons, int controlKeys, int flags);

    static native void queueResize(short columns, short rows);

    static native void queueOther(int eventType);

    static native int pending();

    /** The BOOL every BOOL function returns. */
    static native void setResult(int result);

    static native void setStdHandle(long handle);

    static native void setWindow(short left, short top, short right, short bottom);

    static native void setMode(int mode);

    static native void setCodePage(int codePage);

    static native void setWaitResult(int result);

    /** For benchmarks: log nothing, and hand out the first queued record on every read. */
    static native void setQuiet(boolean quiet);

    /** A native method that does nothing, with the signature of getConsoleMode. */
    static native int emptyNative(long handle);

    /** A native method that only allocates and fills an int[6], with the signature of readConsoleInputEvent. */
    static native int[] arrayFloor(long handle);

    private static native String[] calls();

    /** The Win32 calls made since the last reset, e.g. "SetConsoleMode(0x1234, 0x80000007)". */
    static List<String> callLog() {
        return Arrays.asList(calls());
    }
}
