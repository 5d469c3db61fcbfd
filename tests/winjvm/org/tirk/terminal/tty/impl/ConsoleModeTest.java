package org.tirk.terminal.tty.impl;

import org.junit.jupiter.api.Test;

import java.util.Arrays;
import java.util.List;

import static org.junit.jupiter.api.Assertions.*;
import static org.tirk.terminal.tty.impl.WinConsoleNative.*;

/** Console modes, the output code page, and attaching and detaching a console. */
class ConsoleModeTest {

    static final long INPUT = getStdHandle(STD_INPUT_HANDLE);

    @Test
    void modesRoundTripAndKeepAllTheirBits() {
        int saved = getConsoleMode(INPUT);
        assertEquals(Kernel32.mode(INPUT), saved);
        assertTrue(setConsoleMode(INPUT, saved));
        // Whatever the platform makes of a mode with its top bit set, the library's answers must
        // be the platform's own.
        int topBit = saved | 0x8000_0000;
        boolean bridged = setConsoleMode(INPUT, topBit);
        int bridgedMode = getConsoleMode(INPUT);
        Kernel32.call("SetConsoleMode", INPUT, saved);
        boolean direct = Kernel32.call("SetConsoleMode", INPUT, topBit) != 0;
        Integer directMode = Kernel32.mode(INPUT);
        Kernel32.call("SetConsoleMode", INPUT, saved);
        assertEquals(direct, bridged);
        assertEquals(directMode, bridgedMode);
        assertEquals(saved, getConsoleMode(INPUT));
    }

    @Test
    void codePageIsThePlatformsAndAnAttachedConsoleIsNotAllocatedAgain() {
        assertEquals(Kernel32.call("GetConsoleOutputCP"), getConsoleOutputCP());
        assertTrue(getConsoleOutputCP() > 0);
        assertFalse(allocConsole());
    }

    @Test
    void aProcessWithoutAConsoleAllocatesOneOnceAndFreesIt() throws Exception {
        // javaw is a windowed program: it gets no console of its own.
        String result = ChildJvm.output(ChildJvm.command("javaw", NativeLibraryTest.NATIVES_JAR, Detached.class.getName()));
        List<String> words = Arrays.asList(result.split(" "));
        assertEquals(Arrays.asList("-1", "true", "false", "true"), words.subList(0, 4), result);
        assertEquals(words.get(5), words.get(4), "a second free answers as the platform's own: " + result);
    }

    /** Without a console: the code page, alloc, alloc, free, free, and the platform's own free after that. */
    static final class Detached {
        public static void main(String[] args) {
            System.out.println(getConsoleOutputCP() + " " + allocConsole() + " " + allocConsole() + " " + freeConsole()
                    + " " + freeConsole() + " " + (Kernel32.call("FreeConsole") != 0));
        }
    }
}
