package org.tirk.terminal.tty.impl;

/** Run in a JVM of its own: loads the library and prints "loaded CODEPAGE" or "error: MESSAGE". */
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
