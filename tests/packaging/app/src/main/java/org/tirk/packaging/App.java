package org.tirk.packaging;

import org.tirk.terminal.tty.impl.WinConsoleNative;

/** An application that uses tirk-console: prints "loaded CODEPAGE", or "error: MESSAGE". */
public final class App {

    private App() {
    }

    public static void main(String[] args) {
        try {
            System.out.println("loaded " + WinConsoleNative.getConsoleOutputCP());
        } catch (UnsatisfiedLinkError e) {
            System.out.println("error: " + e.getMessage());
        }
    }
}
