package org.tirk.terminal.tty.impl;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

import java.lang.foreign.MemorySegment;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;
import java.util.Random;
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

    /**
     * Random calls from four threads: handles of every kind and random 64-bit values, lengths
     * from negative to past the array. Each result must be a legal one, and no call may crash.
     * The console's input handle is left out, since a read there would wait for a key.
     */
    @Test
    void randomCallsFromFourThreadsGiveOnlyLegalResults() throws Exception {
        long closed = Kernel32.handle("CreateEventW", MemorySegment.NULL, 1, 0, MemorySegment.NULL);
        Kernel32.close(closed);
        long[] pipe = Kernel32.pipe();
        long screen = Kernel32.newScreenBuffer();
        long[] handles = {0, -1, 1, -2, closed, pipe[0], pipe[1], screen};
        int calls = Integer.getInteger("test.randomCalls", 10_000);
        long seed = Long.getLong("test.randomSeed", 1);
        List<Callable<List<String>>> threads = new ArrayList<>();
        for (int t = 0; t < 4; t++) {
            Random random = new Random(seed * 4 + t);
            threads.add(() -> {
                List<String> illegal = new ArrayList<>();
                for (int i = 0; i < calls / 4 && illegal.size() < 20; i++) {
                    long handle = random.nextInt(4) == 0 ? random.nextLong() : handles[random.nextInt(handles.length)];
                    String wrong = illegalResult(random, handle);
                    if (wrong != null) {
                        illegal.add(wrong + " for handle " + handle);
                    }
                }
                return illegal;
            });
        }
        List<String> illegal = new ArrayList<>();
        for (Future<List<String>> thread : Executors.newFixedThreadPool(4).invokeAll(threads)) {
            illegal.addAll(thread.get());
        }
        assertEquals(Collections.emptyList(), illegal);
        Kernel32.close(pipe[0]);
        Kernel32.close(pipe[1]);
        Kernel32.close(screen);
    }

    /** Makes one random call; returns what was illegal about its result, or null. */
    static String illegalResult(Random random, long handle) {
        int[] selectors = {-10, -11, -12, 0, -13, 1, Integer.MIN_VALUE, Integer.MAX_VALUE};
        char[][] texts = {null, {}, {'x'}, new char[100]};
        int[] array;
        int result;
        switch (random.nextInt(8)) {
            case 0:
                return getStdHandle(selectors[random.nextInt(selectors.length)]) == 0 ? "getStdHandle gave 0" : null;
            case 1:
                array = readConsoleInputEvent(handle);
                return array == null || array.length == 6 && (array[0] == 1 || array[0] == 2)
                        || array.length == 3 && array[0] == 4 ? null : "readConsoleInputEvent gave " + Arrays.toString(array);
            case 2:
                result = getNumberOfConsoleInputEvents(handle);
                return result >= -1 ? null : "getNumberOfConsoleInputEvents gave " + result;
            case 3:
                result = waitForSingleObject(handle, random.nextInt(2));
                return Arrays.asList(WAIT_OBJECT_0, WAIT_ABANDONED, WAIT_TIMEOUT, WAIT_FAILED).contains(result) ? null
                        : "waitForSingleObject gave " + result;
            case 4:
                writeConsole(handle, texts[random.nextInt(texts.length)], random.nextInt(106) - 3);
                return null;
            case 5:
                array = getConsoleSize(handle);
                return array == null || array.length == 2 && array[0] > 0 && array[1] > 0 ? null
                        : "getConsoleSize gave " + Arrays.toString(array);
            case 6:
                setConsoleMode(handle, random.nextInt());
                return null;
            default:
                result = getConsoleOutputCP();
                return result > 0 || result == -1 ? null : "getConsoleOutputCP gave " + result;
        }
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
                        && Arrays.equals(getConsoleSize(screen), size)
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
