package org.tirk.terminal.tty.impl;

import java.io.PrintStream;
import java.util.Arrays;
import java.util.concurrent.atomic.AtomicBoolean;

import static org.tirk.terminal.tty.impl.WinConsoleNative.*;

/**
 * Shows the console through tirk-console: prints the window size and the output code page,
 * switches line input and echo off, and prints each input event as it arrives until 'q' is
 * pressed. The input mode is restored on every way out, a console close included.
 * Run it as {@code java -jar tirk-console.jar}.
 */
public final class WinConsoleDemo {

    private WinConsoleDemo() {
    }

    /**
     * Runs the demo on this process's console.
     *
     * @param args ignored
     */
    public static void main(String[] args) {
        System.exit(run(System.out));
    }

    static int run(PrintStream out) {
        long input = getStdHandle(STD_INPUT_HANDLE);
        long output = getStdHandle(STD_OUTPUT_HANDLE);
        int saved = getConsoleMode(input);
        if (saved == -1) {
            out.println("Standard input is not a console.");
            return 1;
        }
        int[] size = getConsoleSize(output);
        out.println("Window: " + (size == null ? "unknown" : size[0] + " columns, " + size[1] + " rows"));
        out.println("Output code page: " + getConsoleOutputCP());

        AtomicBoolean restored = new AtomicBoolean();
        Runnable restore = () -> {
            if (restored.compareAndSet(false, true)) {
                setConsoleMode(input, saved);
            }
        };
        Thread onExit = new Thread(restore, "tirk-console mode restore");
        Runtime.getRuntime().addShutdownHook(onExit);
        try {
            int raw = (saved & ~(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_PROCESSED_INPUT))
                    | ENABLE_WINDOW_INPUT | ENABLE_MOUSE_INPUT | ENABLE_EXTENDED_FLAGS;
            if (!setConsoleMode(input, raw)) {
                out.println("Cannot change the console mode.");
                return 1;
            }
            out.println("Press keys, move or click the mouse, resize the window; 'q' quits.");
            while (true) {
                int[] event = readConsoleInputEvent(input);
                if (event == null) {
                    if (waitForSingleObject(input, 0) == WAIT_FAILED) {
                        return 1;
                    }
                    continue;
                }
                out.println(describe(event));
                if (event[0] == KEY_EVENT && event[1] == 1 && event[4] == 'q') {
                    return 0;
                }
            }
        } finally {
            restore.run();
            try {
                Runtime.getRuntime().removeShutdownHook(onExit);
            } catch (IllegalStateException shuttingDown) {
                // The hook is running or has run; the mode is restored either way.
            }
        }
    }

    static String describe(int[] event) {
        switch (event[0]) {
            case KEY_EVENT:
                return String.format("key %s vk=0x%02x char=U+%04X repeat=%d state=0x%x",
                        event[1] == 1 ? "down" : "up", event[3], event[4], event[2], event[5]);
            case MOUSE_EVENT:
                return String.format("mouse at %d,%d buttons=0x%x state=0x%x flags=0x%x",
                        event[1], event[2], event[3], event[4], event[5]);
            case WINDOW_BUFFER_SIZE_EVENT:
                return "resize to " + event[1] + " columns, " + event[2] + " rows";
            default:
                return "event " + Arrays.toString(event);
        }
    }
}
