package org.tirk.terminal.tty.impl;

import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.TimeoutException;

import static org.junit.jupiter.api.Assertions.*;
import static org.tirk.terminal.tty.impl.Kernel32.*;
import static org.tirk.terminal.tty.impl.WinConsoleNative.*;

/** Records injected into the console's input buffer with WriteConsoleInputW, read back through the library. */
class ConsoleInputTest {

    static final long INPUT = WinConsoleNative.getStdHandle(STD_INPUT_HANDLE);

    @BeforeEach
    void emptyTheInputBuffer() {
        call("FlushConsoleInputBuffer", INPUT);
    }

    @Test
    void eachRecordReadsBackAsItsArrayInOrder() {
        Object[][] cases = {
            {"bKeyDown 7 reads as down", key(7, 1, 0x41, 'a', 0), new int[] {1, 1, 1, 0x41, 'a', 0}},
            {"key up with Shift", key(0, 2, 0x41, 'A', SHIFT_PRESSED), new int[] {1, 0, 2, 0x41, 'A', SHIFT_PRESSED}},
            {"high surrogate stays positive", key(1, 1, 0, '\uD83D', 0), new int[] {1, 1, 1, 0, 0xD83D, 0}},
            {"low surrogate stays positive", key(1, 1, 0, '\uDE00', 0), new int[] {1, 1, 1, 0, 0xDE00, 0}},
            {"16-bit fields zero-extend, the state keeps its top bit", key(1, 0xFFFF, 0xFFFF, '\uFFFF', 0x8000_0100),
                new int[] {1, 1, 0xFFFF, 0xFFFF, 0xFFFF, 0x8000_0100}},
            {"mouse at the top-left cell", mouse(0, 0, 1, 0, 0), new int[] {2, 0, 0, 1, 0, 0}},
            {"mouse: negative cells, a wheel turn with the top bit set", mouse(-3, -1, 0xFF88_0000, LEFT_CTRL_PRESSED, 4),
                new int[] {2, -3, -1, 0xFF88_0000, LEFT_CTRL_PRESSED, 4}},
            {"resize", resize(100, 40), new int[] {4, 100, 40}},
            {"focus gives null", other(0x10), null},
            {"menu gives null", other(0x8), null},
            {"the record after them reads normally", key(1, 1, 0x42, 'b', 0), new int[] {1, 1, 1, 0x42, 'b', 0}},
        };
        List<byte[]> records = new ArrayList<>();
        for (Object[] c : cases) {
            records.add((byte[]) c[1]);
        }
        writeInput(INPUT, records);
        for (Object[] c : cases) {
            // A record that never arrives fails here instead of blocking the read for ever.
            assertEquals(WAIT_OBJECT_0, waitForSingleObject(INPUT, 5000), (String) c[0]);
            assertArrayEquals((int[]) c[2], readConsoleInputEvent(INPUT), (String) c[0]);
        }
        assertEquals(0, getNumberOfConsoleInputEvents(INPUT));
    }

    @Test
    void aReadOnAnEmptyBufferBlocksOnlyItsOwnThreadAndWakesOnInput() throws Exception {
        ExecutorService reader = Executors.newSingleThreadExecutor();
        try {
            Future<int[]> read = reader.submit(() -> readConsoleInputEvent(INPUT));
            assertThrows(TimeoutException.class, () -> read.get(300, TimeUnit.MILLISECONDS));
            assertEquals(0, getNumberOfConsoleInputEvents(INPUT));
            writeInput(INPUT, List.of(resize(81, 26)));
            assertArrayEquals(new int[] {4, 81, 26}, read.get(10, TimeUnit.SECONDS));
        } finally {
            reader.shutdown();
        }
    }

    @Test
    void countingAndWaitingTakeNothing() {
        assertEquals(0, getNumberOfConsoleInputEvents(INPUT));
        assertEquals(WAIT_TIMEOUT, waitForSingleObject(INPUT, 0));
        long start = System.nanoTime();
        assertEquals(WAIT_TIMEOUT, waitForSingleObject(INPUT, 200));
        assertTrue(System.nanoTime() - start >= 150_000_000L, "a 200 ms wait returned early");

        writeInput(INPUT, List.of(key(1, 1, 0x43, 'c', 0), key(0, 1, 0x43, 'c', 0)));
        assertEquals(2, getNumberOfConsoleInputEvents(INPUT));
        assertEquals(WAIT_OBJECT_0, waitForSingleObject(INPUT, 0));
        assertEquals(WAIT_OBJECT_0, waitForSingleObject(INPUT, INFINITE));
        assertEquals(2, getNumberOfConsoleInputEvents(INPUT));
        assertArrayEquals(new int[] {1, 1, 1, 0x43, 'c', 0}, readConsoleInputEvent(INPUT));
        assertEquals(1, getNumberOfConsoleInputEvents(INPUT));
    }
}
