package org.tirk.terminal.tty.impl;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

/**
 * Runs the demo as {@code JAVA [OPTIONS] -jar JAR} on this process's console, then prints how it
 * ended and the console's input mode before and after, as the platform reports it. JAVA may be
 * any JVM; this one needs the FFM API to read the mode.
 */
final class DemoRun {

    private DemoRun() {
    }

    public static void main(String[] args) throws Exception {
        long input = Kernel32.stdHandle(WinConsoleNative.STD_INPUT_HANDLE);
        Integer before = Kernel32.mode(input);
        List<String> command = new ArrayList<>();
        command.add(args[0]);
        command.addAll(Arrays.asList(args).subList(2, args.length));
        command.addAll(Arrays.asList("-jar", args[1]));
        int status = new ProcessBuilder(command).inheritIO().start().waitFor();
        System.out.println("demo exit status " + status);
        System.out.printf("input mode before 0x%x, after 0x%x%n", before, Kernel32.mode(input));
    }
}
