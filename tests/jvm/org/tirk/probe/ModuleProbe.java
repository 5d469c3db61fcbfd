package org.tirk.probe;

import org.tirk.terminal.tty.impl.WinConsoleNative;

/**
 * A program of another package, for a JVM that has tirk-console on its module path: loads the
 * library and prints "loaded CODEPAGE" or "error: MESSAGE".
 */
public final class ModuleProbe {

    private ModuleProbe() {
    }

    public static void main(String[] args) {
        try {
            System.out.println("loaded " + WinConsoleNative.getConsoleOutputCP());
        } catch (Throwable e) {
            System.out.println("error: " + e.getMessage());
        }
    }
}
