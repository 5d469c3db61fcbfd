package org.tirk.terminal.tty.impl;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

import java.lang.foreign.MemorySegment;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;
import java.util.Map;
import java.util.Random;
import java.util.TreeMap;
import java.util.concurrent.Callable;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.function.BiFunction;
import java.util.function.LongPredicate;

import static org.junit.jupiter.api.Assertions.*;
import static org.tirk.terminal.tty.impl.WinConsoleNative.*;

/** Standard handles, the handle rule and calls from several threads, on the console of the JVM under test. */
class ConsoleHandleTest {

    static final long INPUT = getStdHandle(STD_INPUT_HANDLE);

    @Test
    void exactlyElevenStaticNativesWithTheirJavaTypes() {
        Map<String, String> natives = new TreeMap<>();
        for (Method method : WinConsoleNative.class.getDeclaredMethods()) {
            if (Modifier.isNative(method.getModifiers())) {
                assertTrue(Modifier.isStatic(method.getModifiers()), method.getName());
                natives.put(method.getName(), Arrays.toString(method.getParameterTypes()) + method.getReturnType());
            }
        }
        assertEquals("{allocConsole=[]boolean, freeConsole=[]boolean, getConsoleMode=[long]int, getConsoleOutputCP=[]int, "
                + "getConsoleSize=[long]class [I, getNumberOfConsoleInputEvents=[long]int, getStdHandle=[int]long, "
                + "readConsoleInputEvent=[long]class [I, setConsoleMode=[long, int]boolean, "
                + "waitForSingleObject=[long, int]int, writeConsole=[long, class [C, int]boolean}", natives.toString());
    }

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
     * Calls on four threads at once, of random natives with random arguments: handles of every
     * kind and random 64-bit values, lengths from negative to past the array. Every result must
     * be legal, and where the answer is known (a screen buffer's size, the code page, the
     * standard handles, a valid write) right. The console's input handle is left out, since a
     * read there would wait for a key.
     */
    @Test
    void randomCallsFromFourThreadsAtOnceGetLegalAndRightResults() throws Exception {
        long closed = Kernel32.handle("CreateEventW", MemorySegment.NULL, 1, 0, MemorySegment.NULL);
        Kernel32.close(closed);
        long[] pipe = Kernel32.pipe();
        long screen = Kernel32.newScreenBuffer();
        long[] handles = {0, -1, 1, -2, closed, pipe[0], pipe[1], screen};
        int[] selectors = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE, 0, -13, 1, Integer.MIN_VALUE};
        char[][] texts = {null, {}, {'x'}, new char[100]};
        int[] size = getConsoleSize(screen);
        int codePage = getConsoleOutputCP();
        BiFunction<Random, Long, String> call = (random, handle) -> {
            int[] array;
            switch (random.nextInt(8)) {
                case 0:
                    int which = selectors[random.nextInt(selectors.length)];
                    long platform = Kernel32.stdHandle(which);
                    return getStdHandle(which) == (platform == 0 ? -1 : platform) ? null : "getStdHandle(" + which + ")";
                case 1:
                    array = readConsoleInputEvent(handle);
                    return array == null || array.length == 6 && (array[0] == 1 || array[0] == 2)
                            || array.length == 3 && array[0] == 4 ? null : "read " + Arrays.toString(array);
                case 2:
                    return getNumberOfConsoleInputEvents(handle) >= -1 ? null : "count";
                case 3:
                    int result = waitForSingleObject(handle, random.nextInt(2));
                    return Arrays.asList(WAIT_OBJECT_0, WAIT_ABANDONED, WAIT_TIMEOUT, WAIT_FAILED).contains(result) ? null
                            : "wait " + result;
                case 4:
                    char[] text = texts[random.nextInt(texts.length)];
                    int length = random.nextInt(106) - 3;
                    boolean valid = text != null && length >= 0 && length <= text.length;
                    boolean written = writeConsole(handle, text, length);
                    return written && !valid || handle == screen && valid && !written ? "write of " + length : null;
                case 5:
                    array = getConsoleSize(handle);
                    return handle == screen ? (Arrays.equals(array, size) ? null : "size " + Arrays.toString(array))
                            : array == null || array.length == 2 && array[0] > 0 && array[1] > 0 ? null : "size";
                case 6:
                    setConsoleMode(handle, random.nextInt());
                    return null;
                default:
                    return getConsoleOutputCP() == codePage ? null : "code page";
            }
        };
        int calls = Integer.getInteger("test.randomCalls", 10_000);
        long seed = Long.getLong("test.randomSeed", 1);
        List<Callable<List<String>>> threads = new ArrayList<>();
        for (int t = 0; t < 4; t++) {
            Random random = new Random(seed * 4 + t);
            threads.add(() -> {
                List<String> wrong = new ArrayList<>();
                for (int i = 0; i < calls / 4 && wrong.size() < 20; i++) {
                    long handle = random.nextInt(4) == 0 ? random.nextLong() : handles[random.nextInt(handles.length)];
                    String what = call.apply(random, handle);
                    if (what != null) {
                        wrong.add(what + " with handle " + handle);
                    }
                }
                return wrong;
            });
        }
        ExecutorService pool = Executors.newFixedThreadPool(4);
        List<String> wrong = new ArrayList<>();
        for (Future<List<String>> thread : pool.invokeAll(threads)) {
            wrong.addAll(thread.get());
        }
        pool.shutdown();
        assertEquals(Collections.emptyList(), wrong);
        for (long handle : new long[] {pipe[0], pipe[1], screen}) {
            Kernel32.close(handle);
        }
    }
}
