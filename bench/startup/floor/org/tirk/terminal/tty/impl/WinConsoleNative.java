package org.tirk.terminal.tty.impl;

/**
 * The floor of the start-up benchmark: an application's own class that loads the same library
 * by hand, with no loader around it, and declares the one native that OneCall calls.
 */
public final class WinConsoleNative {
    static {
        System.load(System.getProperty("bench.library"));
    }

    private WinConsoleNative() {
    }

    public static native int getConsoleOutputCP();
}
