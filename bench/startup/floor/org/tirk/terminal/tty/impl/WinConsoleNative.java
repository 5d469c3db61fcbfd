package org.tirk.terminal.tty.impl;

/**
 * The floor of the start-up benchmark: an application's own class that loads the same library
 * by hand, with no loader around it, and declares the one native that OneCall calls. With
 * -Dbench.localAppData=true it first reads LOCALAPPDATA, as finding the default cache does.
 */
public final class WinConsoleNative {
    static {
        if (Boolean.getBoolean("bench.localAppData") && System.getenv("LOCALAPPDATA") == null) {
            throw new IllegalStateException("LOCALAPPDATA is not set");
        }
        System.load(System.getProperty("bench.library"));
    }

    private WinConsoleNative() {
    }

    public static native int getConsoleOutputCP();
}
