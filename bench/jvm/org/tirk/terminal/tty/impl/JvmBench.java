package org.tirk.terminal.tty.impl;

import com.sun.jna.Library;
import com.sun.jna.Native;
import com.sun.jna.Structure;
import com.sun.jna.Union;
import com.sun.jna.ptr.IntByReference;

import java.io.FileWriter;
import java.io.IOException;
import java.io.PrintWriter;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

/**
 * Nanoseconds per call from Java: our natives against two floors (an empty native method, and
 * one that only allocates and fills the int[] of a record read), JNA direct and interface mapping of the same stand-in console functions, and, on Java 22 and
 * later, the Foreign Function and Memory API. Every variant runs in this one JVM, its rounds
 * interleaved with the others', after a warm-up.
 *
 * <p>Usage: JvmBench LIBRARY_PATH ROUND_MILLIS ROUNDS RESULT_FILE. Each result line:
 * group, variant, median ns, lowest ns, highest ns (tab-separated).
 */
public final class JvmBench {

    static final long HANDLE = 0x1234;
    static volatile long sink;

    /** The stand-in's console functions through JNA direct mapping. */
    static final class JnaDirect {
        static native int GetConsoleMode(long handle, int[] mode);

        static native int ReadConsoleInputW(long handle, InputRecord record, int length, int[] read);
    }

    /** The same functions through JNA interface mapping. */
    public interface JnaInterface extends Library {
        int GetConsoleMode(long handle, IntByReference mode);

        int ReadConsoleInputW(long handle, InputRecord record, int length, IntByReference read);
    }

    /** A call that returns something to keep, so that nothing is optimised away. */
    interface Call {
        long run();
    }

    /** What the Java 22+ variant provides (see FfmCalls). */
    public interface Calls {
        int getConsoleMode(long handle);

        int[] readConsoleInputEvent(long handle);
    }

    public static void main(String[] args) throws Exception {
        String library = args[0];
        long roundMillis = Long.parseLong(args[1]);
        int rounds = Integer.parseInt(args[2]);

        StandIn.reset();
        StandIn.setMode(0x1F7);
        StandIn.queueKey(1, 1, 0x41, 'a', 0);
        StandIn.setQuiet(true);
        Native.register(JnaDirect.class, com.sun.jna.NativeLibrary.getInstance(library));
        JnaInterface jna = Native.load(library, JnaInterface.class);
        Calls ffm = null;
        if (Runtime.version().feature() >= 22) {
            ffm = (Calls) Class.forName("org.tirk.terminal.tty.impl.FfmCalls")
                    .getConstructor(String.class).newInstance(library);
        }

        Map<String, Call> scalar = new LinkedHashMap<>();
        scalar.put("empty native method (floor)", () -> StandIn.emptyNative(HANDLE));
        scalar.put("tirk-console getConsoleMode", () -> WinConsoleNative.getConsoleMode(HANDLE));
        int[] mode = new int[1];
        scalar.put("JNA direct mapping", () -> JnaDirect.GetConsoleMode(HANDLE, mode) == 0 ? -1 : mode[0]);
        IntByReference modeRef = new IntByReference();
        scalar.put("JNA interface mapping", () -> jna.GetConsoleMode(HANDLE, modeRef) == 0 ? -1 : modeRef.getValue());
        if (ffm != null) {
            Calls f = ffm;
            scalar.put("FFM downcall", () -> f.getConsoleMode(HANDLE));
        }

        Map<String, Call> record = new LinkedHashMap<>();
        record.put("NewIntArray(6) + SetIntArrayRegion (floor)", () -> StandIn.arrayFloor(HANDLE)[4]);
        record.put("tirk-console readConsoleInputEvent", () -> WinConsoleNative.readConsoleInputEvent(HANDLE)[4]);
        InputRecord directRecord = new InputRecord();
        int[] read = new int[1];
        record.put("JNA direct mapping, INPUT_RECORD Structure",
                () -> JnaDirect.ReadConsoleInputW(HANDLE, directRecord, 1, read) == 0 ? -1 : directRecord.toArray()[4]);
        InputRecord interfaceRecord = new InputRecord();
        IntByReference readRef = new IntByReference();
        record.put("JNA interface mapping, INPUT_RECORD Structure",
                () -> jna.ReadConsoleInputW(HANDLE, interfaceRecord, 1, readRef) == 0 ? -1 : interfaceRecord.toArray()[4]);
        if (ffm != null) {
            Calls f = ffm;
            record.put("FFM downcall, INPUT_RECORD segment", () -> f.readConsoleInputEvent(HANDLE)[4]);
        }

        try (PrintWriter out = new PrintWriter(new FileWriter(args[3]))) {
            out.println("jvm\t" + System.getProperty("java.vm.name") + " " + System.getProperty("java.version"));
            report(out, "scalar", measure(scalar, roundMillis, rounds));
            report(out, "record", measure(record, roundMillis, rounds));
        }
    }

    static Map<String, double[]> measure(Map<String, Call> calls, long roundMillis, int rounds) {
        Map<String, Integer> perRound = new LinkedHashMap<>();
        for (Map.Entry<String, Call> call : calls.entrySet()) {
            // Warm up, then size the round so it lasts about roundMillis.
            int n = 1000;
            long elapsed;
            do {
                n *= 2;
                long start = System.nanoTime();
                time(call.getValue(), n);
                elapsed = System.nanoTime() - start;
            } while (elapsed < roundMillis * 1_000_000L / 2);
            perRound.put(call.getKey(), Math.max(1000, (int) (n * (roundMillis * 1e6 / elapsed))));
        }
        Map<String, List<Double>> samples = new LinkedHashMap<>();
        for (int round = 0; round < rounds; round++) {
            for (Map.Entry<String, Call> call : calls.entrySet()) {
                int n = perRound.get(call.getKey());
                long start = System.nanoTime();
                time(call.getValue(), n);
                samples.computeIfAbsent(call.getKey(), k -> new ArrayList<>()).add((System.nanoTime() - start) / (double) n);
            }
        }
        Map<String, double[]> results = new LinkedHashMap<>();
        for (Map.Entry<String, List<Double>> s : samples.entrySet()) {
            double[] values = s.getValue().stream().mapToDouble(Double::doubleValue).sorted().toArray();
            results.put(s.getKey(), new double[] {values[values.length / 2], values[0], values[values.length - 1]});
        }
        return results;
    }

    static void time(Call call, int n) {
        long total = 0;
        for (int i = 0; i < n; i++) {
            total += call.run();
        }
        sink += total;
    }

    static void report(PrintWriter out, String group, Map<String, double[]> results) {
        for (Map.Entry<String, double[]> r : results.entrySet()) {
            double[] v = r.getValue();
            out.printf("%s\t%s\t%.2f\t%.2f\t%.2f%n", group, r.getKey(), v[0], v[1], v[2]);
        }
    }

    // INPUT_RECORD as a JNA user maps it: the event type and a union of the event records.
    public static class InputRecord extends Structure {
        public short EventType;
        public EventUnion Event;

        public static class EventUnion extends Union {
            public KeyEventRecord KeyEvent;
            public MouseEventRecord MouseEvent;
            public WindowBufferSizeRecord WindowBufferSizeEvent;
        }

        public static class KeyEventRecord extends Structure {
            public int bKeyDown;
            public short wRepeatCount;
            public short wVirtualKeyCode;
            public short wVirtualScanCode;
            public char uChar;
            public int dwControlKeyState;

            @Override
            protected List<String> getFieldOrder() {
                return Arrays.asList("bKeyDown", "wRepeatCount", "wVirtualKeyCode", "wVirtualScanCode", "uChar",
                        "dwControlKeyState");
            }
        }

        public static class MouseEventRecord extends Structure {
            public short x;
            public short y;
            public int dwButtonState;
            public int dwControlKeyState;
            public int dwEventFlags;

            @Override
            protected List<String> getFieldOrder() {
                return Arrays.asList("x", "y", "dwButtonState", "dwControlKeyState", "dwEventFlags");
            }
        }

        public static class WindowBufferSizeRecord extends Structure {
            public short x;
            public short y;

            @Override
            protected List<String> getFieldOrder() {
                return Arrays.asList("x", "y");
            }
        }

        @Override
        protected List<String> getFieldOrder() {
            return Arrays.asList("EventType", "Event");
        }

        /** The record as the same int[] that readConsoleInputEvent returns. */
        int[] toArray() {
            switch (EventType) {
                case 1:
                    Event.setType(KeyEventRecord.class);
                    Event.read();
                    KeyEventRecord k = Event.KeyEvent;
                    return new int[] {1, k.bKeyDown != 0 ? 1 : 0, k.wRepeatCount & 0xFFFF, k.wVirtualKeyCode & 0xFFFF,
                        k.uChar, k.dwControlKeyState};
                case 2:
                    Event.setType(MouseEventRecord.class);
                    Event.read();
                    MouseEventRecord m = Event.MouseEvent;
                    return new int[] {2, m.x, m.y, m.dwButtonState, m.dwControlKeyState, m.dwEventFlags};
                case 4:
                    Event.setType(WindowBufferSizeRecord.class);
                    Event.read();
                    return new int[] {4, Event.WindowBufferSizeEvent.x, Event.WindowBufferSizeEvent.y};
                default:
                    return null;
            }
        }
    }
}
