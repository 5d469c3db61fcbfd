package org.tirk.terminal.tty.impl;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

import java.util.Collections;
import java.util.List;
import java.util.concurrent.Callable;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.function.LongPredicate;

import static org.junit.jupiter.api.Assertions.*;
import static org.tirk.terminal.tty.impl.WinConsoleNative.*;

/** Standard handles, the handle rule and calls from several threads, on the console of the JVM under test. */
class ConsoleHandleTest {

    static final long INPUT = getStdHandle(STD_INPUT_HANDLE);

    @ParameterizedTest
    @ValueSource(ints = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE, 12345})
    void standardHandlesAreThePlatformsOwnValues(int which) {
        long platform = Kernel32.stdHandle(which);
        assertEquals(platform == 0 ? -1 : platform, getStdHandle(which));
    }

    @ParameterizedTest
    @ValueSource(longs = {0, -1})
    void unusableHandlesGiveTheFailureValueAndTakeNothing(long handle) {
        Kernel32.call("FlushConsoleInputBuffer", INPUT);
        Kernel32.writeInput(INPUT, List.of(Kernel32.key(1, 1, 'A', 'a', 0)));
        LongPredicate[] failures = {
            h -> readConsoleInputEvent(h) == null,
            h -> getNumberOfConsoleInputEvents(h) == -1,
            h -> waitForSingleObject(h, 0) == WAIT_FAILED,
            h -> !writeConsole(h, "x".toCharArray(), 1),
            h -> getConsoleSize(h) == null,
            h -> getConsoleMode(h) == -1,
            h -> !setConsoleMode(h, 0),
        };
        for (int i = 0; i < failures.length; i++) {
            assertTrue(failures[i].test(handle), "native " + i);
        }
        assertEquals(1, getNumberOfConsoleInputEvents(INPUT));
        Kernel32.call("FlushConsoleInputBuffer", INPUT);
    }

    @Test
    void theRuleIsTheLibrarysAndOtherOddValuesReachThePlatform() {
        // -1 is also the platform's pseudo-handle of the current process, on which it would wait.
        assertEquals(WAIT_TIMEOUT, Kernel32.call("WaitForSingleObject", -1L, 0));
        assertEquals(WAIT_FAILED, waitForSingleObject(-1, 0));
        // -2, the current thread, is not refused.
        assertEquals(WAIT_TIMEOUT, waitForSingleObject(-2, 0));
    }

    @Test
    void fourThreadsAtOnceEachGetTheRightAnswers() throws Exception {
        long screen = Kernel32.newScreenBuffer();
        int mode = getConsoleMode(INPUT);
        int codePage = getConsoleOutputCP();
        int[] size = getConsoleSize(screen);
        Kernel32.call("FlushConsoleInputBuffer", INPUT);
        Callable<Integer> calls = () -> {
            char[] text = "side by side ".toCharArray();
            int wrong = 0;
            for (int i = 0; i < 300; i++) {
                boolean right = getConsoleMode(INPUT) == mode && getConsoleOutputCP() == codePage
                        && java.util.Arrays.equals(getConsoleSize(screen), size)
                        && getNumberOfConsoleInputEvents(INPUT) == 0 && waitForSingleObject(INPUT, 0) == WAIT_TIMEOUT
                        && writeConsole(screen, text, text.length) && getConsoleMode(0) == -1;
                wrong += right ? 0 : 1;
            }
            return wrong;
        };
        ExecutorService threads = Executors.newFixedThreadPool(4);
        try {
            for (Future<Integer> wrong : threads.invokeAll(Collections.nCopies(4, calls))) {
                assertEquals(0, wrong.get());
            }
        } finally {
            threads.shutdown();
            Kernel32.close(screen);
        }
    }
}
