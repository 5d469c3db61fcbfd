package org.tirk.terminal.tty.impl;

import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

/** A JVM of the installation running the tests, started with the test build's classes. */
final class ChildJvm {

    /** The library's classes and the tests', as a class path. */
    static final String CLASSES = System.getProperty("test.classes");
    /** Options every child gets (on Wine, one that quiets a warning of the JVM's), separated by spaces. */
    static final List<String> OPTIONS = Arrays.asList(System.getProperty("test.jvmOptions", "").trim().split(" +"));

    private ChildJvm() {
    }

    /** `launcher` (java, or javaw on Windows) with the classes and `jar`, if any, on the class path, then `rest`. */
    static List<String> command(String launcher, String jar, String... rest) {
        List<String> command = new ArrayList<>();
        command.add(Paths.get(System.getProperty("java.home"), "bin", launcher).toString());
        for (String option : OPTIONS) {
            if (!option.isEmpty()) {
                command.add(option);
            }
        }
        command.add("-cp");
        command.add(CLASSES + (jar == null ? "" : File.pathSeparator + jar));
        command.addAll(Arrays.asList(rest));
        return command;
    }

    static String output(List<String> command) throws IOException, InterruptedException {
        return output(start(new ProcessBuilder(command).redirectErrorStream(true)));
    }

    /**
     * Starts the process, a second time if Wine fails to create it with ERROR_INTERNAL_ERROR
     * (1359), which it now and then does under load; nothing of ours runs before that.
     */
    static Process start(ProcessBuilder process) throws IOException {
        try {
            return process.start();
        } catch (IOException e) {
            if (!String.valueOf(e.getMessage()).contains("error=1359")) {
                throw e;
            }
            return process.start();
        }
    }

    /** Everything the process prints, trimmed, once it has ended. */
    static String output(Process process) throws IOException, InterruptedException {
        try (InputStream in = process.getInputStream()) {
            ByteArrayOutputStream bytes = new ByteArrayOutputStream();
            byte[] buffer = new byte[4096];
            for (int n; (n = in.read(buffer)) > 0; ) {
                bytes.write(buffer, 0, n);
            }
            process.waitFor();
            return bytes.toString(StandardCharsets.UTF_8.name()).trim();
        }
    }
}
