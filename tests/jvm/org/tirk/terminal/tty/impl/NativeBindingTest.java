package org.tirk.terminal.tty.impl;

import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.Arrays;
import java.util.Collections;
import java.util.Map;
import java.util.TreeMap;
import java.util.function.LongPredicate;

import static org.junit.jupiter.api.Assertions.*;

/** The eleven natives called from Java through the real JNI, over the stand-in console. */
class NativeBindingTest {

    static final long HANDLE = 0x7FFF_0000_1234L;
    static final String HANDLE_HEX = "0x7fff00001234";

    @BeforeEach
    void resetConsole() {
        StandIn.reset();
    }

    @Test
    void exactlyElevenNativesWithTheirJavaTypes() {
        Map<String, String> expected = new TreeMap<>();
        expected.put("getStdHandle", "(int)long");
        expected.put("readConsoleInputEvent", "(long)int[]");
        expected.put("getNumberOfConsoleInputEvents", "(long)int");
        expected.put("waitForSingleObject", "(long, int)int");
        expected.put("writeConsole", "(long, char[], int)boolean");
        expected.put("getConsoleSize", "(long)int[]");
        expected.put("getConsoleMode", "(long)int");
        expected.put("setConsoleMode", "(long, int)boolean");
        expected.put("getConsoleOutputCP", "()int");
        expected.put("allocConsole", "()boolean");
        expected.put("freeConsole", "()boolean");
        Map<String, String> natives = new TreeMap<>();
        for (Method method : WinConsoleNative.class.getDeclaredMethods()) {
            if (Modifier.isNative(method.getModifiers())) {
                assertTrue(Modifier.isStatic(method.getModifiers()), method.getName());
                String parameters = Arrays.stream(method.getParameterTypes()).map(Class::getSimpleName)
                        .reduce((a, b) -> a + ", " + b).orElse("");
                natives.put(method.getName(), "(" + parameters + ")" + method.getReturnType().getSimpleName());
            }
        }
        assertEquals(expected, natives);
    }

    @Test
    void standardHandlesComeBackWithAll64Bits() {
        StandIn.setStdHandle(HANDLE);
        assertEquals(HANDLE, WinConsoleNative.getStdHandle(WinConsoleNative.STD_INPUT_HANDLE));
        StandIn.setStdHandle(0);
        assertEquals(-1, WinConsoleNative.getStdHandle(WinConsoleNative.STD_OUTPUT_HANDLE));
        StandIn.setStdHandle(-1);
        assertEquals(-1, WinConsoleNative.getStdHandle(WinConsoleNative.STD_ERROR_HANDLE));
        assertEquals(Arrays.asList("GetStdHandle(0xfffffff6)", "GetStdHandle(0xfffffff5)", "GetStdHandle(0xfffffff4)"),
                StandIn.callLog());
    }

    @Test
    void eachRecordKindArrivesAsItsArray() {
        StandIn.queueKey(7, 2, 0x41, 'A', WinConsoleNative.SHIFT_PRESSED | 0x8000_0000);
        StandIn.queueKey(0, 1, 0, '\uD83D', 0);
        StandIn.queueOther(0x10);
        StandIn.queueMouse((short) -3, (short) 0, 0xFF88_0000, 0, 4);
        StandIn.queueResize((short) 120, (short) 9001);
        assertArrayEquals(new int[] {1, 1, 2, 0x41, 'A', 0x8000_0010}, WinConsoleNative.readConsoleInputEvent(HANDLE));
        assertArrayEquals(new int[] {1, 0, 1, 0, 0xD83D, 0}, WinConsoleNative.readConsoleInputEvent(HANDLE));
        assertNull(WinConsoleNative.readConsoleInputEvent(HANDLE));
        assertArrayEquals(new int[] {2, -3, 0, 0xFF88_0000, 0, 4}, WinConsoleNative.readConsoleInputEvent(HANDLE));
        assertArrayEquals(new int[] {4, 120, 9001}, WinConsoleNative.readConsoleInputEvent(HANDLE));
        assertEquals(0, StandIn.pending());
        assertEquals("ReadConsoleInputW(" + HANDLE_HEX + ", 1)", StandIn.callLog().get(0));
    }

    @Test
    void countsWaitsSizesModesAndCodePagePassThrough() {
        StandIn.setCount(5);
        assertEquals(5, WinConsoleNative.getNumberOfConsoleInputEvents(HANDLE));
        StandIn.setWaitResult(WinConsoleNative.WAIT_TIMEOUT);
        assertEquals(WinConsoleNative.WAIT_TIMEOUT, WinConsoleNative.waitForSingleObject(HANDLE, WinConsoleNative.INFINITE));
        StandIn.setWindow((short) 0, (short) 9000, (short) 119, (short) 9029);
        assertArrayEquals(new int[] {120, 30}, WinConsoleNative.getConsoleSize(HANDLE));
        StandIn.setMode(0x8000_01F7);
        assertEquals(0x8000_01F7, WinConsoleNative.getConsoleMode(HANDLE));
        assertTrue(WinConsoleNative.setConsoleMode(HANDLE, 0x8000_0007));
        StandIn.setCodePage(0);
        assertEquals(-1, WinConsoleNative.getConsoleOutputCP());
        StandIn.setCodePage(65001);
        assertEquals(65001, WinConsoleNative.getConsoleOutputCP());
        assertTrue(WinConsoleNative.allocConsole());
        assertTrue(WinConsoleNative.freeConsole());
        assertEquals(Arrays.asList(
                "GetNumberOfConsoleInputEvents(" + HANDLE_HEX + ")",
                "WaitForSingleObject(" + HANDLE_HEX + ", 0xffffffff)",
                "GetConsoleScreenBufferInfo(" + HANDLE_HEX + ")",
                "GetConsoleMode(" + HANDLE_HEX + ")",
                "SetConsoleMode(" + HANDLE_HEX + ", 0x80000007)",
                "GetConsoleOutputCP()", "GetConsoleOutputCP()", "AllocConsole()", "FreeConsole()"), StandIn.callLog());
    }

    @Test
    void platformFailuresGiveTheFailureValues() {
        StandIn.setResult(0);
        StandIn.queueKey(1, 1, 0x41, 'a', 0);
        assertNull(WinConsoleNative.readConsoleInputEvent(HANDLE));
        assertEquals(-1, WinConsoleNative.getNumberOfConsoleInputEvents(HANDLE));
        assertNull(WinConsoleNative.getConsoleSize(HANDLE));
        assertEquals(-1, WinConsoleNative.getConsoleMode(HANDLE));
        assertFalse(WinConsoleNative.setConsoleMode(HANDLE, 0));
        assertFalse(WinConsoleNative.writeConsole(HANDLE, "x".toCharArray(), 1));
        assertFalse(WinConsoleNative.allocConsole());
        assertFalse(WinConsoleNative.freeConsole());
        StandIn.setWaitResult(WinConsoleNative.WAIT_FAILED);
        assertEquals(-1, WinConsoleNative.waitForSingleObject(HANDLE, 0));
    }

    @Test
    void textReachesTheConsoleIntactAndOnlyThePrefixAsked() {
        char[] text = "h\u00e9llo \uD83D\uDE00 \uFFFF!".toCharArray();
        assertTrue(WinConsoleNative.writeConsole(HANDLE, text, text.length));
        assertTrue(WinConsoleNative.writeConsole(HANDLE, text, 1));
        assertTrue(WinConsoleNative.writeConsole(HANDLE, text, 0));
        assertEquals(new String(text) + "h", StandIn.written());
        assertArrayEquals("h\u00e9llo \uD83D\uDE00 \uFFFF!".toCharArray(), text);
        StandIn.setWriteLimit(3);
        assertFalse(WinConsoleNative.writeConsole(HANDLE, text, text.length));
    }

    @Test
    void badArraysAndLengthsAreRefusedWithoutWriting() {
        char[] text = "abc".toCharArray();
        assertFalse(WinConsoleNative.writeConsole(HANDLE, null, 0));
        assertFalse(WinConsoleNative.writeConsole(HANDLE, text, -1));
        assertFalse(WinConsoleNative.writeConsole(HANDLE, text, Integer.MIN_VALUE));
        assertFalse(WinConsoleNative.writeConsole(HANDLE, text, 4));
        assertFalse(WinConsoleNative.writeConsole(HANDLE, text, Integer.MAX_VALUE));
        assertEquals(Collections.emptyList(), StandIn.callLog());
    }

    @ParameterizedTest
    @ValueSource(longs = {0, -1})
    void unusableHandlesFailWithoutReachingThePlatform(long handle) {
        StandIn.queueKey(1, 1, 0x41, 'a', 0);
        LongPredicate[] failures = {
            h -> WinConsoleNative.readConsoleInputEvent(h) == null,
            h -> WinConsoleNative.getNumberOfConsoleInputEvents(h) == -1,
            h -> WinConsoleNative.waitForSingleObject(h, 0) == -1,
            h -> !WinConsoleNative.writeConsole(h, "x".toCharArray(), 1),
            h -> WinConsoleNative.getConsoleSize(h) == null,
            h -> WinConsoleNative.getConsoleMode(h) == -1,
            h -> !WinConsoleNative.setConsoleMode(h, 3),
        };
        for (int i = 0; i < failures.length; i++) {
            assertTrue(failures[i].test(handle), "entry point " + i);
        }
        assertEquals(Collections.emptyList(), StandIn.callLog());
        assertEquals(1, StandIn.pending());
    }
}
