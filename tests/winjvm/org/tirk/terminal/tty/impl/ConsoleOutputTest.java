package org.tirk.terminal.tty.impl;

import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Test;

import java.lang.foreign.Arena;

import static java.lang.foreign.ValueLayout.JAVA_SHORT;
import static org.junit.jupiter.api.Assertions.*;
import static org.tirk.terminal.tty.impl.WinConsoleNative.*;

/** Text written through the library into a screen buffer of the console, and read back cell by cell. */
class ConsoleOutputTest {

    final long screen = Kernel32.newScreenBuffer();

    @AfterEach
    void closeTheScreenBuffer() {
        Kernel32.close(screen);
    }

    @Test
    void exactlyThePrefixAskedForReachesTheCells() {
        char[] text = "h\u00e9llo \u03b1\u0416!".toCharArray();
        Object[][] writes = {  // chars, length, result
            {text, text.length + 1, false},
            {text, -1, false},
            {null, 0, false},
            {text, 0, true},
            {text, 5, true},
            {text, text.length, true},
        };
        for (Object[] write : writes) {
            assertEquals(write[2], writeConsole(screen, (char[]) write[0], (int) write[1]), "length " + write[1]);
        }
        String cells = "h\u00e9llo" + "h\u00e9llo \u03b1\u0416!" + "   ";
        assertEquals(cells, Kernel32.readRow(screen, cells.length()));
        assertEquals("h\u00e9llo \u03b1\u0416!", new String(text));
    }

    @Test
    void aPipeIsRefusedAndReceivesNothing() {
        long[] pipe = Kernel32.pipe();
        assertFalse(writeConsole(pipe[1], "x".toCharArray(), 1));
        assertEquals(0, Kernel32.bytesInPipe(pipe[0]));
        Kernel32.close(pipe[0]);
        Kernel32.close(pipe[1]);
    }

    /** Puts a window of 80 x 24 at row `top`: the platform's answer. */
    int moveWindow(short top) {
        try (Arena arena = Arena.ofConfined()) {
            return Kernel32.call("SetConsoleWindowInfo", screen, 1,
                    arena.allocateFrom(JAVA_SHORT, (short) 0, top, (short) 79, (short) (top + 23)));
        }
    }

    @Test
    void sizeIsTheVisibleWindowWhereverItIsScrolled() {
        // Windows refuses a buffer narrower than its window, which a new console opens 120 columns wide.
        assertNotEquals(0, moveWindow((short) 0), "the window narrowed to 80 x 24");
        assertNotEquals(0, Kernel32.call("SetConsoleScreenBufferSize", screen, 100 | 2000 << 16));
        for (short top : new short[] {0, 1500}) {
            assertNotEquals(0, moveWindow(top), "the window moved to row " + top);
            short[] info = Kernel32.screenBufferInfo(screen);  // srWindow is members 5 to 8
            assertEquals(top, info[6], "srWindow.Top");
            assertArrayEquals(new int[] {80, 24}, getConsoleSize(screen), "window from row " + top);
            assertArrayEquals(new int[] {info[7] - info[5] + 1, info[8] - info[6] + 1}, getConsoleSize(screen));
        }
        assertNull(getConsoleSize(getStdHandle(STD_INPUT_HANDLE)));
    }
}
