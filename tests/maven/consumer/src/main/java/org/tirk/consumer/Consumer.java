package org.tirk.consumer;

import org.tirk.terminal.tty.impl.WinConsoleNative;

/** Asks the console's output code page; prints "code page N", or "error: MESSAGE" where the library cannot load. */
public final class Consumer {

    private Consumer() {
    }

    public static void main(String[] args) {
        try {
            System.out.println("code page " + WinConsoleNative.getConsoleOutputCP());
        } catch (UnsatisfiedLinkError e) {
            System.out.println("error: " + e.getMessage());
        }
    }
}
