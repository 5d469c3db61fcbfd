package org.tirk.terminal.tty.impl;

import java.lang.foreign.Arena;
import java.lang.foreign.FunctionDescriptor;
import java.lang.foreign.Linker;
import java.lang.foreign.MemoryLayout;
import java.lang.foreign.MemorySegment;
import java.lang.foreign.SymbolLookup;
import java.lang.invoke.MethodHandle;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.util.List;
import java.util.Map;
import java.util.concurrent.ConcurrentHashMap;

import static java.lang.foreign.ValueLayout.ADDRESS;
import static java.lang.foreign.ValueLayout.JAVA_CHAR;
import static java.lang.foreign.ValueLayout.JAVA_INT;
import static java.lang.foreign.ValueLayout.JAVA_LONG;
import static java.lang.foreign.ValueLayout.JAVA_SHORT;

/**
 * The console as the platform itself reports it, called through the FFM API rather than
 * through tirk-console: the tests' oracle and their way to inject input. A handle is a
 * pointer-sized integer, passed and returned as a {@code long}; buffers are memory segments.
 */
final class Kernel32 {

    /** Size of an INPUT_RECORD: the event type, two bytes of padding, the 16-byte event. */
    static final int INPUT_RECORD_SIZE = 20;

    private static final Linker LINKER = Linker.nativeLinker();
    private static final SymbolLookup KERNEL32 = SymbolLookup.libraryLookup("kernel32", Arena.global());
    private static final Map<String, MethodHandle> HANDLES = new ConcurrentHashMap<>();

    private Kernel32() {
    }

    /** Calls a function that returns a 32-bit value (BOOL, DWORD, UINT). */
    static int call(String function, Object... arguments) {
        return (int) invoke(function, JAVA_INT, arguments);
    }

    /** Calls a function that returns a HANDLE. */
    static long handle(String function, Object... arguments) {
        return (long) invoke(function, JAVA_LONG, arguments);
    }

    /**
     * Integer arguments go as 32-bit values (a COORD passed by value too: X in the low half),
     * Long ones as handles, memory segments as pointers.
     */
    private static Object invoke(String function, MemoryLayout result, Object... arguments) {
        MemoryLayout[] layouts = new MemoryLayout[arguments.length];
        StringBuilder key = new StringBuilder(function).append(result);
        for (int i = 0; i < arguments.length; i++) {
            Object argument = arguments[i];
            layouts[i] = argument instanceof Integer ? JAVA_INT : argument instanceof Long ? JAVA_LONG : ADDRESS;
            key.append(layouts[i]);
        }
        MethodHandle handle = HANDLES.computeIfAbsent(key.toString(), k -> LINKER.downcallHandle(
                KERNEL32.find(function).orElseThrow(), FunctionDescriptor.of(result, layouts)));
        try {
            return handle.invokeWithArguments(arguments);
        } catch (Throwable e) {
            throw new AssertionError(function, e);
        }
    }

    static long stdHandle(int which) {
        return handle("GetStdHandle", which);
    }

    /** A new screen buffer of the console, not shown, for writing without disturbing the terminal. */
    static long newScreenBuffer() {
        return handle("CreateConsoleScreenBuffer", 0xC0000000, 3, MemorySegment.NULL, 1, MemorySegment.NULL);
    }

    static void close(long handle) {
        call("CloseHandle", handle);
    }

    /** The handle's console mode, or null if the platform refuses. */
    static Integer mode(long handle) {
        try (Arena arena = Arena.ofConfined()) {
            MemorySegment mode = arena.allocate(JAVA_INT);
            return call("GetConsoleMode", handle, mode) == 0 ? null : mode.get(JAVA_INT, 0);
        }
    }

    /** The members of CONSOLE_SCREEN_BUFFER_INFO as signed 16-bit values, in declaration order, or null. */
    static short[] screenBufferInfo(long handle) {
        try (Arena arena = Arena.ofConfined()) {
            MemorySegment info = arena.allocate(22);
            if (call("GetConsoleScreenBufferInfo", handle, info) == 0) {
                return null;
            }
            return info.toArray(JAVA_SHORT);
        }
    }

    /** Appends records to the console's input buffer; each is INPUT_RECORD_SIZE bytes. */
    static void writeInput(long input, List<byte[]> records) {
        try (Arena arena = Arena.ofConfined()) {
            MemorySegment buffer = arena.allocate((long) INPUT_RECORD_SIZE * records.size());
            for (int i = 0; i < records.size(); i++) {
                MemorySegment.copy(MemorySegment.ofArray(records.get(i)), 0, buffer, (long) i * INPUT_RECORD_SIZE,
                        INPUT_RECORD_SIZE);
            }
            MemorySegment written = arena.allocate(JAVA_INT);
            if (call("WriteConsoleInputW", input, buffer, records.size(), written) == 0
                    || written.get(JAVA_INT, 0) != records.size()) {
                throw new AssertionError("WriteConsoleInputW did not take " + records.size() + " records");
            }
        }
    }

    /** The characters of the first `count` cells of a screen buffer's top row. */
    static String readRow(long screen, int count) {
        try (Arena arena = Arena.ofConfined()) {
            MemorySegment cells = arena.allocate(2L * count);
            MemorySegment read = arena.allocate(JAVA_INT);
            if (call("ReadConsoleOutputCharacterW", screen, cells, count, 0, read) == 0) {
                throw new AssertionError("ReadConsoleOutputCharacterW failed");
            }
            return new String(cells.asSlice(0, 2L * read.get(JAVA_INT, 0)).toArray(JAVA_CHAR));
        }
    }

    /** The read and write ends of a new anonymous pipe. */
    static long[] pipe() {
        try (Arena arena = Arena.ofConfined()) {
            MemorySegment ends = arena.allocate(JAVA_LONG, 2);
            if (call("CreatePipe", ends, ends.asSlice(8), MemorySegment.NULL, 0) == 0) {
                throw new AssertionError("CreatePipe failed");
            }
            return ends.toArray(JAVA_LONG);
        }
    }

    /** How many bytes wait in a pipe. */
    static int bytesInPipe(long readEnd) {
        try (Arena arena = Arena.ofConfined()) {
            MemorySegment available = arena.allocate(JAVA_INT);
            call("PeekNamedPipe", readEnd, MemorySegment.NULL, 0, MemorySegment.NULL, available, MemorySegment.NULL);
            return available.get(JAVA_INT, 0);
        }
    }

    // INPUT_RECORD builders: the event type, then the event's members at their offsets.

    static byte[] key(int down, int repeat, int virtualKey, char character, int controlKeys) {
        return record(1).putInt(4, down).putShort(8, (short) repeat).putShort(10, (short) virtualKey)
                .putChar(14, character).putInt(16, controlKeys).array();
    }

    static byte[] mouse(int x, int y, int buttons, int controlKeys, int flags) {
        return record(2).putShort(4, (short) x).putShort(6, (short) y).putInt(8, buttons).putInt(12, controlKeys)
                .putInt(16, flags).array();
    }

    static byte[] resize(int columns, int rows) {
        return record(4).putShort(4, (short) columns).putShort(6, (short) rows).array();
    }

    /** A record of a kind the library does not report (FOCUS_EVENT 0x10, MENU_EVENT 0x8). */
    static byte[] other(int eventType) {
        return record(eventType).putInt(4, 1).array();
    }

    private static ByteBuffer record(int eventType) {
        return ByteBuffer.allocate(INPUT_RECORD_SIZE).order(ByteOrder.LITTLE_ENDIAN).putShort(0, (short) eventType);
    }
}
