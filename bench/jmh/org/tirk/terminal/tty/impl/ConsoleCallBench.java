package org.tirk.terminal.tty.impl;

import com.sun.jna.Library;
import com.sun.jna.Native;
import com.sun.jna.NativeLibrary;
import com.sun.jna.Structure;
import com.sun.jna.Union;
import com.sun.jna.ptr.IntByReference;
import org.openjdk.jmh.annotations.*;

import java.lang.foreign.*;
import java.lang.invoke.MethodHandle;
import java.util.concurrent.TimeUnit;

import static java.lang.foreign.ValueLayout.*;

/**
 * Nanoseconds per call from Java, over the stand-in console of the Linux build (the library
 * named by -Dbench.library): our natives against two floors of the test library (a native that
 * does nothing, and one that only does the array work of a record read), and the same stand-in
 * functions called through JNA direct and interface mapping and through the FFM API.
 */
@State(Scope.Benchmark)
@BenchmarkMode(Mode.AverageTime)
@OutputTimeUnit(TimeUnit.NANOSECONDS)
@Warmup(iterations = 5, time = 200, timeUnit = TimeUnit.MILLISECONDS)
@Measurement(iterations = 10, time = 200, timeUnit = TimeUnit.MILLISECONDS)
@Fork(value = 2, jvmArgsAppend = "--enable-native-access=ALL-UNNAMED")
public class ConsoleCallBench {

    static final long HANDLE = 0x1234;
    static final String LIBRARY = System.getProperty("bench.library");

    public static final class JnaDirect {
        static {
            Native.register(JnaDirect.class, NativeLibrary.getInstance(LIBRARY));
        }

        static native int GetConsoleMode(long handle, int[] mode);

        static native int ReadConsoleInputW(long handle, InputRecord record, int length, int[] read);
    }

    public interface JnaInterface extends Library {
        int GetConsoleMode(long handle, IntByReference mode);

        int ReadConsoleInputW(long handle, InputRecord record, int length, IntByReference read);
    }

    JnaInterface jna;
    final int[] count = new int[1];
    final IntByReference countReference = new IntByReference();
    final InputRecord record = new InputRecord();
    MethodHandle ffmGetConsoleMode;
    MethodHandle ffmReadConsoleInput;
    // Scratch memory reused by every call, as a careful FFM user would keep it.
    final MemorySegment ffmInt = Arena.global().allocate(JAVA_INT);
    final MemorySegment ffmRecord = Arena.global().allocate(20, 4);

    @Setup
    public void setUp() {
        StandIn.reset();
        StandIn.setMode(0x1F7);
        StandIn.queueKey(1, 1, 0x41, 'a', 0);
        StandIn.setQuiet(true);
        jna = Native.load(LIBRARY, JnaInterface.class);
        Linker linker = Linker.nativeLinker();
        SymbolLookup lookup = SymbolLookup.libraryLookup(LIBRARY, Arena.global());
        ffmGetConsoleMode = linker.downcallHandle(lookup.find("GetConsoleMode").orElseThrow(),
                FunctionDescriptor.of(JAVA_INT, JAVA_LONG, ADDRESS));
        ffmReadConsoleInput = linker.downcallHandle(lookup.find("ReadConsoleInputW").orElseThrow(),
                FunctionDescriptor.of(JAVA_INT, JAVA_LONG, ADDRESS, JAVA_INT, ADDRESS));
    }

    @Benchmark
    public int emptyNative() {
        return StandIn.emptyNative(HANDLE);
    }

    @Benchmark
    public int getConsoleMode() {
        return WinConsoleNative.getConsoleMode(HANDLE);
    }

    @Benchmark
    public int jnaDirect() {
        return JnaDirect.GetConsoleMode(HANDLE, count) == 0 ? -1 : count[0];
    }

    @Benchmark
    public int jnaInterface() {
        return jna.GetConsoleMode(HANDLE, countReference) == 0 ? -1 : countReference.getValue();
    }

    @Benchmark
    public int ffm() throws Throwable {
        return (int) ffmGetConsoleMode.invokeExact(HANDLE, ffmInt) == 0 ? -1 : ffmInt.get(JAVA_INT, 0);
    }

    @Benchmark
    public int[] arrayFloor() {
        return StandIn.arrayFloor(HANDLE);
    }

    @Benchmark
    public int[] readConsoleInputEvent() {
        return WinConsoleNative.readConsoleInputEvent(HANDLE);
    }

    @Benchmark
    public int[] jnaDirectRecord() {
        return JnaDirect.ReadConsoleInputW(HANDLE, record, 1, count) == 0 ? null : record.toArray();
    }

    @Benchmark
    public int[] jnaInterfaceRecord() {
        return jna.ReadConsoleInputW(HANDLE, record, 1, countReference) == 0 ? null : record.toArray();
    }

    @Benchmark
    public int[] ffmRecord() throws Throwable {
        MemorySegment r = ffmRecord;
        if ((int) ffmReadConsoleInput.invokeExact(HANDLE, r, 1, ffmInt) == 0 || ffmInt.get(JAVA_INT, 0) == 0) {
            return null;
        }
        switch (r.get(JAVA_SHORT, 0)) {
            case 1:
                return new int[] {1, r.get(JAVA_INT, 4) != 0 ? 1 : 0, r.get(JAVA_CHAR, 8), r.get(JAVA_CHAR, 10),
                    r.get(JAVA_CHAR, 14), r.get(JAVA_INT, 16)};
            case 2:
                return new int[] {2, r.get(JAVA_SHORT, 4), r.get(JAVA_SHORT, 6), r.get(JAVA_INT, 8), r.get(JAVA_INT, 12),
                    r.get(JAVA_INT, 16)};
            case 4:
                return new int[] {4, r.get(JAVA_SHORT, 4), r.get(JAVA_SHORT, 6)};
            default:
                return null;
        }
    }

    /** INPUT_RECORD as a JNA user maps it: the event type and a union of the event records. */
    @Structure.FieldOrder({"EventType", "Event"})
    public static class InputRecord extends Structure {
        public short EventType;
        public EventUnion Event;

        public static class EventUnion extends Union {
            public KeyEventRecord KeyEvent;
            public MouseEventRecord MouseEvent;
            public WindowBufferSizeRecord WindowBufferSizeEvent;
        }

        @Structure.FieldOrder({"bKeyDown", "wRepeatCount", "wVirtualKeyCode", "wVirtualScanCode", "uChar",
            "dwControlKeyState"})
        public static class KeyEventRecord extends Structure {
            public int bKeyDown;
            public short wRepeatCount, wVirtualKeyCode, wVirtualScanCode;
            public char uChar;
            public int dwControlKeyState;
        }

        @Structure.FieldOrder({"x", "y", "dwButtonState", "dwControlKeyState", "dwEventFlags"})
        public static class MouseEventRecord extends Structure {
            public short x, y;
            public int dwButtonState, dwControlKeyState, dwEventFlags;
        }

        @Structure.FieldOrder({"x", "y"})
        public static class WindowBufferSizeRecord extends Structure {
            public short x, y;
        }

        /** The record as the same int[] that readConsoleInputEvent returns. */
        int[] toArray() {
            switch (EventType) {
                case 1:
                    KeyEventRecord k = (KeyEventRecord) Event.getTypedValue(KeyEventRecord.class);
                    return new int[] {1, k.bKeyDown != 0 ? 1 : 0, k.wRepeatCount & 0xFFFF, k.wVirtualKeyCode & 0xFFFF,
                        k.uChar, k.dwControlKeyState};
                case 2:
                    MouseEventRecord m = (MouseEventRecord) Event.getTypedValue(MouseEventRecord.class);
                    return new int[] {2, m.x, m.y, m.dwButtonState, m.dwControlKeyState, m.dwEventFlags};
                case 4:
                    WindowBufferSizeRecord w = (WindowBufferSizeRecord) Event.getTypedValue(WindowBufferSizeRecord.class);
                    return new int[] {4, w.x, w.y};
                default:
                    return null;
            }
        }
    }
}
