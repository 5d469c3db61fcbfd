package org.tirk.terminal.tty.impl;

import java.lang.foreign.Arena;
import java.lang.foreign.FunctionDescriptor;
import java.lang.foreign.Linker;
import java.lang.foreign.MemorySegment;
import java.lang.foreign.SymbolLookup;
import java.lang.invoke.MethodHandle;

import static java.lang.foreign.ValueLayout.ADDRESS;
import static java.lang.foreign.ValueLayout.JAVA_CHAR;
import static java.lang.foreign.ValueLayout.JAVA_INT;
import static java.lang.foreign.ValueLayout.JAVA_LONG;
import static java.lang.foreign.ValueLayout.JAVA_SHORT;

/** The stand-in console functions through the Foreign Function and Memory API (Java 22+). */
public final class FfmCalls implements JvmBench.Calls {

    private final MethodHandle getConsoleMode;
    private final MethodHandle readConsoleInput;
    // Scratch memory reused by every call, as a careful FFM user would keep it.
    private final MemorySegment mode = Arena.global().allocate(JAVA_INT);
    private final MemorySegment record = Arena.global().allocate(20, 4);
    private final MemorySegment read = Arena.global().allocate(JAVA_INT);

    public FfmCalls(String library) {
        Linker linker = Linker.nativeLinker();
        SymbolLookup lookup = SymbolLookup.libraryLookup(library, Arena.global());
        getConsoleMode = linker.downcallHandle(lookup.find("GetConsoleMode").orElseThrow(),
                FunctionDescriptor.of(JAVA_INT, JAVA_LONG, ADDRESS));
        readConsoleInput = linker.downcallHandle(lookup.find("ReadConsoleInputW").orElseThrow(),
                FunctionDescriptor.of(JAVA_INT, JAVA_LONG, ADDRESS, JAVA_INT, ADDRESS));
    }

    @Override
    public int getConsoleMode(long handle) {
        try {
            return (int) getConsoleMode.invokeExact(handle, mode) == 0 ? -1 : mode.get(JAVA_INT, 0);
        } catch (Throwable e) {
            throw new AssertionError(e);
        }
    }

    @Override
    public int[] readConsoleInputEvent(long handle) {
        try {
            if ((int) readConsoleInput.invokeExact(handle, record, 1, read) == 0 || read.get(JAVA_INT, 0) == 0) {
                return null;
            }
        } catch (Throwable e) {
            throw new AssertionError(e);
        }
        switch (record.get(JAVA_SHORT, 0)) {
            case 1:
                return new int[] {1, record.get(JAVA_INT, 4) != 0 ? 1 : 0, record.get(JAVA_CHAR, 8),
                    record.get(JAVA_CHAR, 10), record.get(JAVA_CHAR, 14), record.get(JAVA_INT, 16)};
            case 2:
                return new int[] {2, record.get(JAVA_SHORT, 4), record.get(JAVA_SHORT, 6), record.get(JAVA_INT, 8),
                    record.get(JAVA_INT, 12), record.get(JAVA_INT, 16)};
            case 4:
                return new int[] {4, record.get(JAVA_SHORT, 4), record.get(JAVA_SHORT, 6)};
            default:
                return null;
        }
    }
}
