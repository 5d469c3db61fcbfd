package org.tirk.terminal.tty.impl;

import org.junit.jupiter.api.Test;
import org.tirk.probe.LoadProbe;
import org.junit.jupiter.api.io.TempDir;

import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.attribute.FileTime;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.stream.Collectors;
import java.util.stream.Stream;

import static org.junit.jupiter.api.Assertions.*;
import static org.junit.jupiter.api.Assumptions.assumeFalse;

/**
 * The loader, each case in a JVM of its own (a JVM loads a library once). The test build
 * provides the library built for Linux: as a file, on a library path, and inside two jars
 * laid out like the product jar, one of them with a wrong SHA-256.
 */
class NativeLibraryTest {

    static final String LIBRARY = System.mapLibraryName("tirk-console");
    static final Path LIBRARY_FILE = Paths.get(System.getProperty("test.library"));
    static final String NATIVES_JAR = System.getProperty("test.nativesJar");
    static final String DAMAGED_JAR = System.getProperty("test.damagedJar");
    static final String CLASSES = System.getProperty("test.classes");
    /** Holds a libtirk-console.so whose getConsoleOutputCP answers 437 where ours answers 65001. */
    static final String DECOY_FOLDER = System.getProperty("test.decoyFolder");
    /** The java of a JDK 24 or later, or empty if none is installed. */
    static final String NEWER_JAVA = System.getProperty("test.newerJava", "");

    @TempDir
    Path temp;

    /** Starts a JVM that loads the library with `options` and whose class path adds `jar`. */
    Process start(String jar, String... options) throws IOException {
        Path emptyLibraryPath = Files.createDirectories(temp.resolve("no-libraries"));
        List<String> command = new ArrayList<>();
        command.add(Paths.get(System.getProperty("java.home"), "bin", "java").toString());
        command.add("-Djava.library.path=" + emptyLibraryPath);
        command.addAll(Arrays.asList(options));
        command.add("-cp");
        command.add(CLASSES + (jar == null ? "" : File.pathSeparator + jar));
        command.add(LoadProbe.class.getName());
        return new ProcessBuilder(command).redirectErrorStream(true).start();
    }

    String output(Process process) throws IOException, InterruptedException {
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

    String load(String jar, String... options) throws Exception {
        return output(start(jar, options));
    }

    Path cachedCopy(Path cache) throws IOException {
        String digest = NativeLibrary.sha256(Files.readAllBytes(LIBRARY_FILE));
        return cache.resolve(digest).resolve(LIBRARY);
    }

    List<String> filesIn(Path folder) throws IOException {
        try (Stream<Path> files = Files.list(folder)) {
            return files.map(p -> p.getFileName().toString()).sorted().collect(Collectors.toList());
        }
    }

    @Test
    void extractsIntoAnEmptyFolderAndReusesTheIdenticalCopy() throws Exception {
        Path cache = temp.resolve("cache");
        assertEquals("loaded 65001", load(NATIVES_JAR, "-Dtirk.console.cache=" + cache));
        Path copy = cachedCopy(cache);
        assertArrayEquals(Files.readAllBytes(LIBRARY_FILE), Files.readAllBytes(copy));
        assertEquals(Arrays.asList(LIBRARY), filesIn(copy.getParent()));

        FileTime past = FileTime.fromMillis(1_000_000_000_000L);
        Files.setLastModifiedTime(copy, past);
        Object identity = Files.readAttributes(copy, "unix:ino").get("ino");
        assertEquals("loaded 65001", load(NATIVES_JAR, "-Dtirk.console.cache=" + cache));
        assertEquals(past, Files.getLastModifiedTime(copy));
        assertEquals(identity, Files.readAttributes(copy, "unix:ino").get("ino"));
    }

    @Test
    void replacesACorruptCopy() throws Exception {
        Path cache = temp.resolve("cache");
        Path copy = cachedCopy(cache);
        Files.createDirectories(copy.getParent());
        Files.write(copy, "not a library".getBytes(StandardCharsets.US_ASCII));
        assertEquals("loaded 65001", load(NATIVES_JAR, "-Dtirk.console.cache=" + cache));
        assertArrayEquals(Files.readAllBytes(LIBRARY_FILE), Files.readAllBytes(copy));
        assertEquals(Arrays.asList(LIBRARY), filesIn(copy.getParent()));
    }

    @Test
    void explicitPathComesFirstAndNamesItselfWhenWrong() throws Exception {
        Path cache = temp.resolve("cache");
        assertEquals("loaded 65001", load(DAMAGED_JAR, "-Dtirk.console.library=" + LIBRARY_FILE,
                "-Dtirk.console.cache=" + cache));
        assertFalse(Files.exists(cache));
        String missing = temp.resolve("nowhere").resolve(LIBRARY).toString();
        String error = load(NATIVES_JAR, "-Dtirk.console.library=" + missing);
        assertTrue(error.startsWith("error: Cannot load the tirk-console library " + missing), error);
        assertTrue(error.contains("-Dtirk.console.library"), error);
    }

    @Test
    void libraryPathOnlyWhenAskedForOrWhenTheJarHasNothingForThisPlatform() throws Exception {
        Path cache = temp.resolve("cache");
        String decoyPath = "-Djava.library.path=" + DECOY_FOLDER;
        assertEquals("loaded 65001", load(NATIVES_JAR, decoyPath, "-Dtirk.console.cache=" + cache),
                "a same-named library on java.library.path loses to the jar's verified copy");
        assertEquals("loaded 437", load(NATIVES_JAR, decoyPath, "-Dtirk.console.useLibraryPath=true",
                "-Dtirk.console.cache=" + cache), "asked for, java.library.path comes first");

        Path unused = temp.resolve("unused-cache");
        assertEquals("loaded 65001", load(null, "-Djava.library.path=" + LIBRARY_FILE.getParent(),
                "-Dtirk.console.cache=" + unused), "a jar without this platform's library falls back to the path");
        assertFalse(Files.exists(unused));
    }

    @Test
    void debugTraceNamesTheFileLoaded() throws Exception {
        Path cache = temp.resolve("cache");
        String trace = load(NATIVES_JAR, "-Dtirk.console.debug=true", "-Dtirk.console.cache=" + cache);
        assertTrue(trace.contains("tirk-console: loaded " + cachedCopy(cache) + " (extracted from the jar)"), trace);
        assertTrue(trace.endsWith("loaded 65001"), trace);
        String quiet = load(NATIVES_JAR, "-Dtirk.console.cache=" + cache);
        assertEquals("loaded 65001", quiet);
    }

    @Test
    void clearErrorsWhenTheJarCannotServeThisMachine() throws Exception {
        String missing = load(null, "-Dtirk.console.cache=" + temp);
        assertTrue(missing.contains("supports windows-x86-64 and windows-aarch64 only; this JVM runs on Linux"), missing);
        assertTrue(missing.contains("(looked for /org/tirk/terminal/tty/impl/native/linux-x86-64/" + LIBRARY + ")"),
                missing);
        assertTrue(missing.contains("not on java.library.path either"), missing);
        assertTrue(missing.contains("-Dtirk.console.library="), missing);

        String unsupported = load(NATIVES_JAR, "-Dos.arch=sparcv9", "-Dtirk.console.cache=" + temp);
        assertTrue(unsupported.contains("supports windows-x86-64 and windows-aarch64 only; this JVM runs on Linux sparcv9"),
                unsupported);

        String damaged = load(DAMAGED_JAR, "-Dtirk.console.cache=" + temp);
        assertTrue(damaged.contains("The tirk-console jar is damaged"), damaged);
        assertTrue(damaged.contains("but the jar records 0000"), damaged);
    }

    @Test
    void unwritableCacheNamesThePropertiesThatHelp() throws Exception {
        Path file = Files.write(temp.resolve("a-file"), new byte[] {1});
        String error = load(NATIVES_JAR, "-Dtirk.console.cache=" + file.resolve("cache"));
        assertTrue(error.startsWith("error: Cannot extract the tirk-console library into " + file), error);
        assertTrue(error.contains("-Dtirk.console.cache") && error.contains("-Dtirk.console.library"), error);
    }

    @Test
    void sixteenJvmsStartingAtOnceAllLoad() throws Exception {
        Path cache = temp.resolve("cache");
        List<Process> processes = new ArrayList<>();
        for (int i = 0; i < 16; i++) {
            processes.add(start(NATIVES_JAR, "-Dtirk.console.cache=" + cache));
        }
        for (Process process : processes) {
            assertEquals("loaded 65001", output(process));
        }
        Path copy = cachedCopy(cache);
        assertArrayEquals(Files.readAllBytes(LIBRARY_FILE), Files.readAllBytes(copy));
        assertEquals(Arrays.asList(LIBRARY), filesIn(copy.getParent()));
    }

    @Test
    void namedModuleGrantedNativeAccessLoadsWithoutWarning() throws Exception {
        assumeFalse(NEWER_JAVA.isEmpty(), "no JDK 24 or later under /usr/lib/jvm: restricted-method warnings not checked");
        List<String> command = new ArrayList<>(Arrays.asList(NEWER_JAVA, "--module-path", NATIVES_JAR,
                "--add-modules", "org.tirk.terminal.console", "-Dtirk.console.cache=" + temp.resolve("cache"),
                "-cp", CLASSES, LoadProbe.class.getName()));
        String warned = output(new ProcessBuilder(command).redirectErrorStream(true).start());
        assertTrue(warned.contains("WARNING: A restricted method in java.lang.System has been called")
                && warned.contains("module org.tirk.terminal.console"), warned);
        command.add(1, "--enable-native-access=org.tirk.terminal.console");
        assertEquals("loaded 65001", output(new ProcessBuilder(command).redirectErrorStream(true).start()));
    }

    @Test
    void platformNamesFollowTheJvmsProperties() {
        assertEquals("windows-x86-64", NativeLibrary.platform("Windows 11", "amd64"));
        assertEquals("windows-aarch64", NativeLibrary.platform("Windows Server 2022", "aarch64"));
        assertEquals("linux-x86-64", NativeLibrary.platform("Linux", "x86_64"));
        assertEquals("macos-aarch64", NativeLibrary.platform("Mac OS X", "aarch64"));
        assertNull(NativeLibrary.platform("Windows 10", "x86"));
        assertNull(NativeLibrary.platform("SunOS", "amd64"));
    }
}
