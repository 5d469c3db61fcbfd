package org.tirk.probe;

import org.tirk.terminal.tty.impl.WinConsoleNative;

/**
 * Run in a JVM of its own: loads the library and prints "loaded CODEPAGE" or "error: MESSAGE".
 * It lives outside the library's package so that it can also run beside the library's named
 * module, which owns that package.
 */
public final class LoadProbe {

    private LoadProbe() {
    }

    public static void main(String[] args) {
        try {
            System.out.println("loaded " + WinConsoleNative.getConsoleOutputCP());
        } catch (Throwable e) {
            System.out.println("error: " + e.getMessage());
        }
    }
}
