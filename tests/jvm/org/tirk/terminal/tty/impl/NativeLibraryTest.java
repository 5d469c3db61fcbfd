package org.tirk.terminal.tty.impl;

import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.DynamicTest;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.TestFactory;
import org.tirk.probe.LoadProbe;

import java.io.BufferedReader;
import java.io.File;
import java.io.IOException;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.attribute.*;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.Comparator;
import java.util.List;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import java.util.stream.Collectors;
import java.util.stream.IntStream;
import java.util.stream.Stream;

import static org.junit.jupiter.api.Assertions.*;
import static org.junit.jupiter.api.Assumptions.assumeFalse;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

/**
 * The loader, each case in a JVM of its own (a JVM loads a library once), on Linux with the
 * library built for Linux, and on Windows with the product jar. The test build provides the
 * library as a file, inside a jar laid out like the product jar, and a same-named decoy.
 */
class NativeLibraryTest {

    /**
     * The cases whose outcome depends on the JVM (how it loads a file, binds it to a class loader,
     * builds its library path, unloads), which run on every Windows JVM; the rest exercise the file
     * system and the loader's own code, the same on any JVM.
     */
    static final String EVERY_JVM = "everyJvm";

    static final boolean WINDOWS = File.separatorChar == '\\';
    static final String LIBRARY = System.mapLibraryName("tirk-console");
    static final Path LIBRARY_FILE = Paths.get(System.getProperty("test.library"));
    static final String NATIVES_JAR = System.getProperty("test.nativesJar");
    /** Holds a tirk-console library whose getConsoleOutputCP answers 42, which no console does. */
    static final String DECOY_FOLDER = System.getProperty("test.decoyFolder");
    static final String DECOY = "loaded 42";
    /** Holds folders in which nothing can be written, made by unwritable-folders.sh. */
    static final Path UNWRITABLE = Paths.get(System.getProperty("test.unwritable", "none"));
    /** What the probe prints with our library: the code page of the console (the stand-in's on Linux). */
    static final String OURS = "loaded " + (WINDOWS ? WinConsoleNative.getConsoleOutputCP() : 65001);
    /** The java of a JDK 24 or later, or empty if there is none. */
    static final String NEWER_JAVA = Integer.parseInt(System.getProperty("java.specification.version")
            .replaceFirst("^1\\.", "")) >= 24
            ? Paths.get(System.getProperty("java.home"), "bin", "java").toString()
            : System.getProperty("test.newerJava", "");

    /**
     * A folder of this case's own. Not JUnit's @TempDir: that draws its name from SecureRandom,
     * whose seeding enumerates network interfaces, which crashes the JVM under Wine 8.
     */
    Path temp;

    @BeforeEach
    void makeTemporaryFolder() throws IOException {
        temp = Files.createDirectories(Paths.get(System.getProperty("java.io.tmpdir"), "tirk-test-" + System.nanoTime()));
    }

    @AfterEach
    void removeTemporaryFolder() throws IOException {
        try (Stream<Path> files = Files.walk(temp)) {
            for (Path file : files.sorted(Comparator.reverseOrder()).collect(Collectors.toList())) {
                Files.delete(file);
            }
        }
    }

    /** A child JVM that runs the probe with `jar`, if any, on its class path; `arguments` that do not start with "-" are the probe's. */
    ProcessBuilder probe(String jar, String... arguments) throws IOException {
        List<String> options = new ArrayList<>();
        List<String> probeArguments = new ArrayList<>();
        for (String argument : arguments) {
            (argument.startsWith("-") ? options : probeArguments).add(argument);
        }
        if (!WINDOWS) {
            // On Windows the library path holds PATH and the working folder, which the cases set themselves.
            options.add(0, "-Djava.library.path=" + Files.createDirectories(temp.resolve("no-libraries")));
        }
        options.add(LoadProbe.class.getName());
        options.addAll(probeArguments);
        return new ProcessBuilder(ChildJvm.command("java", jar, options.toArray(new String[0]))).redirectErrorStream(true);
    }

    String load(String jar, String... options) throws Exception {
        return ChildJvm.output(ChildJvm.start(probe(jar, options)));
    }

    String cacheOption(Path cache) {
        return "-Dtirk.console.cache=" + cache;
    }

    Path cachedCopy(Path cache) throws IOException {
        return cache.resolve(LibraryInstaller.sha256(Files.readAllBytes(LIBRARY_FILE))).resolve(LIBRARY);
    }

    List<String> filesIn(Path folder) throws IOException {
        try (Stream<Path> files = Files.list(folder)) {
            return files.map(p -> p.getFileName().toString()).sorted().collect(Collectors.toList());
        }
    }

    /** The files the debug trace says were loaded, in order. */
    List<Path> loadedFiles(String trace) {
        List<Path> files = new ArrayList<>();
        Matcher loaded = Pattern.compile("tirk-console: loaded (.+) \\(").matcher(trace);
        while (loaded.find()) {
            files.add(Paths.get(loaded.group(1)));
        }
        return files;
    }

    /** A copy of the jar whose library entry has one byte changed, as a damaged download would. */
    Path damagedJar() throws IOException {
        byte[] jar = Files.readAllBytes(Paths.get(NATIVES_JAR));
        byte[] library = Files.readAllBytes(LIBRARY_FILE);
        int at = new String(jar, StandardCharsets.ISO_8859_1).indexOf(new String(library, StandardCharsets.ISO_8859_1));
        assertTrue(at >= 0, "the jar stores the library uncompressed");
        jar[at + library.length / 2] ^= 1;
        return Files.write(temp.resolve("damaged.jar"), jar);
    }

    /**
     * The decoy made to the size and CRC-32 of our library, as an attacker would in microseconds:
     * padded, then its last four bytes found by running the CRC-32 backwards from ours, each step
     * by the table entry whose top byte matches.
     */
    byte[] forgery() throws IOException {
        byte[] library = Files.readAllBytes(LIBRARY_FILE);
        byte[] forged = Arrays.copyOf(Files.readAllBytes(Paths.get(DECOY_FOLDER, LIBRARY)), library.length);
        int[] table = IntStream.range(0, 256).map(n -> {
            for (int bit = 0; bit < 8; bit++) {
                n = (n & 1) != 0 ? 0xEDB88320 ^ n >>> 1 : n >>> 1;
            }
            return n;
        }).toArray();
        int register = ~(int) LibraryInstaller.crc32(library);
        for (int step = 0; step < 4; step++) {
            int top = register >>> 24, index = IntStream.range(0, 256).filter(n -> table[n] >>> 24 == top).findFirst().getAsInt();
            register = (register ^ table[index]) << 8 | index;
        }
        register ^= ~(int) LibraryInstaller.crc32(Arrays.copyOf(forged, forged.length - 4));
        for (int i = 0; i < 4; i++) {
            forged[forged.length - 4 + i] = (byte) (register >>> 8 * i);
        }
        assertEquals(LibraryInstaller.crc32(library), LibraryInstaller.crc32(forged), "the forgery's CRC-32");
        assertFalse(Arrays.equals(forged, library));
        return forged;
    }

    /** Lets every account change `folder`, made if missing, or a file: by its mode bits, or by an entry for Everyone in its access list. */
    static Path shared(Path folder) throws IOException {
        if (!Files.isRegularFile(folder)) {
            Files.createDirectories(folder);
        }
        if (!WINDOWS) {
            return Files.setPosixFilePermissions(folder, PosixFilePermissions.fromString(Files.isDirectory(folder)
                    ? "rwxrwxrwx" : "rw-rw-rw-"));
        }
        AclFileAttributeView view = Files.getFileAttributeView(folder, AclFileAttributeView.class);
        List<AclEntry> acl = new ArrayList<>(view.getAcl());
        acl.add(AclEntry.newBuilder().setType(AclEntryType.ALLOW).setPermissions(AclEntryPermission.values())
                .setPrincipal(folder.getFileSystem().getUserPrincipalLookupService().lookupPrincipalByName("Everyone"))
                .build());
        view.setAcl(acl);
        return folder;
    }

    @Test
    @Tag(EVERY_JVM)
    void extractsIntoAnEmptyFolderSaysSoAndReusesTheIdenticalCopyQuietly() throws Exception {
        Path cache = temp.resolve("cache");
        Path copy = cachedCopy(cache);
        String trace = load(NATIVES_JAR, cacheOption(cache), "-Dtirk.console.debug=true");
        assertTrue(trace.contains("tirk-console: loaded " + copy + " (extracted from the jar)"), trace);
        assertTrue(trace.endsWith(OURS), trace);
        assertArrayEquals(Files.readAllBytes(LIBRARY_FILE), Files.readAllBytes(copy));
        assertEquals(Arrays.asList(LIBRARY), filesIn(copy.getParent()));

        FileTime past = FileTime.fromMillis(1_000_000_000_000L);
        Files.setLastModifiedTime(copy, past);
        assertEquals(OURS, load(NATIVES_JAR, cacheOption(cache)));
        assertEquals(past, Files.getLastModifiedTime(copy));
    }

    @Test
    void aForgedCopyWithTheLibrarysSizeAndCrcIsReplacedAndStaleTemporaryFilesRemoved() throws Exception {
        byte[] forged = forgery();
        // The default folder under LOCALAPPDATA, and a private folder named by the property.
        for (Path cache : Arrays.asList(temp.resolve("profile").resolve("tirk-console"), temp.resolve("cache"))) {
            Path copy = cachedCopy(cache);
            Files.createDirectories(copy.getParent());
            Files.write(copy, forged);
            // What JVMs that died while extracting left: one a day old, one that may be being written now.
            Path stale = Files.write(copy.resolveSibling(LIBRARY + ".1a2b.tmp"), forged);
            Files.setLastModifiedTime(stale, FileTime.fromMillis(System.currentTimeMillis() - 25 * 3_600_000L));
            Path recent = Files.write(copy.resolveSibling(LIBRARY + ".3c4d.tmp"), forged);

            ProcessBuilder probe = probe(NATIVES_JAR, cache.endsWith("cache") ? cacheOption(cache) : "-Dtirk.console.debug=true",
                    "-Dtirk.console.debug=true");
            probe.environment().put("LOCALAPPDATA", temp.resolve("profile").toString());
            String trace = ChildJvm.output(ChildJvm.start(probe));
            assertTrue(trace.endsWith(OURS), trace);
            assertTrue(trace.contains("replaced " + copy + ", which differed from the library"), trace);
            assertTrue(trace.contains("removed " + stale), trace);
            assertArrayEquals(Files.readAllBytes(LIBRARY_FILE), Files.readAllBytes(copy));
            assertEquals(Arrays.asList(LIBRARY, recent.getFileName().toString()), filesIn(copy.getParent()));
            String again = ChildJvm.output(ChildJvm.start(probe));
            assertTrue(again.endsWith(OURS) && again.contains("(the jar's library, compared byte for byte)"), again);
        }
    }

    /** `path` among the folders nothing can be written in; where its folder could not be made, the case is skipped. */
    static Path unwritable(String path) throws IOException {
        Path why = UNWRITABLE.resolve(path.split("/")[0] + ".why");
        String reason = Files.exists(why) ? new String(Files.readAllBytes(why), StandardCharsets.UTF_8).trim() : "-Dtest.unwritable names no such folders";
        assumeTrue(Files.isDirectory(UNWRITABLE) && !Files.exists(why), reason);
        return UNWRITABLE.resolve(path);
    }

    @TestFactory
    Stream<DynamicTest> aCacheFolderThatCannotBeUsedIsReportedAsWhatItIsAndLeftAsItWas() throws Exception {
        String others = WINDOWS ? "Everyone" : "every other account";
        String refused = "Cannot use the folder ", unwritten = "Cannot extract the tirk-console library into ";
        Path empty = shared(temp.resolve("shared"));
        // The library's own bytes, which another account could swap after they were compared.
        Path planted = shared(temp.resolve("planted"));
        Files.createDirectories(cachedCopy(planted).getParent());
        Files.copy(LIBRARY_FILE, cachedCopy(planted));
        Path inside = Files.createDirectories(shared(temp.resolve("around")).resolve("mine"));
        // Whoever may rename a folder two levels up may swap the library between the comparison and the load.
        Path far = shared(temp.resolve("far")), deeper = Files.createDirectories(far.resolve("private").resolve("cache"));
        Path file = Files.write(temp.resolve("a-file"), new byte[] {1});
        String farRemoves = others + " may remove, rename or re-permission " + far + " or what it holds";
        // What the case is; the cache folder, or where it lies among the unwritable folders; the
        // error's first words; for a refusal, who may do what.
        Object[][] cases = {
            {"a shared empty folder", empty, refused, others + " may write to " + empty},
            {"a shared folder holding the library", planted, refused, others + " may write to " + planted},
            {"a folder in a shared one", inside, refused, others + " may remove, rename or re-permission "
                + inside.getParent() + " or what it holds"},
            {"a folder two levels below a shared one", deeper, refused, farRemoves},
            {"a missing folder two levels below a shared one", far.resolve("private").resolve("new"), refused, farRemoves},
            {"a folder in a file", file.resolve("cache"), unwritten, null},
            {"a read-only empty folder", "read-only", unwritten, null},
            {"a missing folder in a read-only one", "read-only-parent/cache", unwritten, null},
            {"a missing folder on a full disk", "full/" + temp.getFileName(), unwritten, null},
        };
        return Arrays.stream(cases).map(row -> DynamicTest.dynamicTest((String) row[0], () -> {
            Path cache = row[1] instanceof Path ? (Path) row[1] : unwritable((String) row[1]), watched = cache;
            while (!Files.isDirectory(watched)) {
                watched = watched.getParent(); // which must hold afterwards what it held before
            }
            List<String> before = filesIn(watched);
            String output = load(NATIVES_JAR, cacheOption(cache), "-Dtirk.console.debug=true");
            String error = output.substring(Math.max(0, output.indexOf("error: ")));
            assertTrue(error.startsWith("error: " + row[2] + cache + (row[3] != null ? " as the tirk-console cache: " : ": ")),
                    output);
            assertEquals(row[3] != null, error.contains(row[3] + ". The library is loaded only from a folder no other"
                    + " account can change."), error);
            assertTrue(error.contains("-Dtirk.console.cache") && error.contains("-Dtirk.console.library"), error);
            assertFalse(Pattern.compile("\\.[0-9a-f]+\\.tmp").matcher(output).find(), "a temporary name in " + output);
            assertFalse(output.contains(LibraryInstaller.copyName(LIBRARY, 2)), "a second name, which cannot help: " + output);
            assertFalse(row[3] != null && output.contains(" for this user alone"), "made before it was judged: " + output);
            assertEquals(before, filesIn(watched), "what " + watched + " holds");
        }));
    }

    @Test
    void inAConfiguredCacheAFolderOfCopiesOrACopyAnotherAccountCanChangeIsPassedOverOrReplaced() throws Exception {
        // Each made by another account while the cache was shared, holding the library itself.
        Path squatted = cachedCopy(temp.resolve("cache")), open = cachedCopy(temp.resolve("cache2"));
        Files.copy(LIBRARY_FILE, shared(squatted.getParent()).resolve(LIBRARY));
        shared(Files.copy(LIBRARY_FILE, Files.createDirectories(open.getParent()).resolve(LIBRARY)));
        String trace = load(NATIVES_JAR, cacheOption(squatted.getParent().getParent()), "-Dtirk.console.debug=true");
        assertTrue(trace.endsWith(OURS) && trace.contains("passing over " + squatted.getParent() + ": "), trace);
        assertEquals(Collections.singletonList(squatted.getParent().resolveSibling(squatted.getParent().getFileName() + "-2").resolve(LIBRARY)),
                loadedFiles(trace), trace);
        // Replaced, and then this user's own, which the next start takes as it is.
        for (String expected : new String[] {"replaced " + open + ", which another account could change (",
            "(the jar's library, compared byte for byte)"}) {
            trace = load(NATIVES_JAR, cacheOption(open.getParent().getParent()), "-Dtirk.console.debug=true");
            assertTrue(trace.endsWith(OURS) && trace.contains(expected) && loadedFiles(trace).equals(Collections.singletonList(open)), trace);
        }
    }

    @Test
    void aTemporaryCacheFolderAnotherAccountCanChangeIsPassedOverAndOneInAFolderOthersCanRenameRefused() throws Exception {
        Path tmp = Files.createDirectories(temp.resolve("tmp"));
        String name = "tirk-console-" + System.getProperty("user.name");
        shared(tmp.resolve(name));
        ProcessBuilder probe = probe(NATIVES_JAR, "-Djava.io.tmpdir=" + tmp, "-Dtirk.console.debug=true");
        probe.environment().remove("LOCALAPPDATA");
        String trace = ChildJvm.output(ChildJvm.start(probe));
        assertTrue(trace.endsWith(OURS), trace);
        assertTrue(trace.contains("passing over " + tmp.resolve(name) + ": "), trace);
        assertEquals(Collections.singletonList(cachedCopy(tmp.resolve(name + "-2"))), loadedFiles(trace), trace);
        // The folder the loader made lets in the account this process runs as, and no other account,
        // not even to read (its owner may be the Administrators group, as on Windows Server).
        Path made = tmp.resolve(name + "-2");
        if (WINDOWS) {
            AclFileAttributeView view = Files.getFileAttributeView(made, AclFileAttributeView.class);
            String account = System.getenv("USERDOMAIN") + "\\" + System.getProperty("user.name");
            assertTrue(view.getAcl().stream().allMatch(entry -> entry.principal().getName().equalsIgnoreCase(account)
                    || entry.principal().getName().equals("NT AUTHORITY\\SYSTEM")), view.getAcl().toString());
        } else {
            assertEquals("rwx------", PosixFilePermissions.toString(Files.getPosixFilePermissions(made)));
        }
        Path open = shared(temp.resolve("open"));
        probe = probe(NATIVES_JAR, "-Djava.io.tmpdir=" + open);
        probe.environment().remove("LOCALAPPDATA");
        String error = ChildJvm.output(ChildJvm.start(probe));
        assertTrue(error.startsWith("error: Cannot use a folder of this user's own in " + open + " as the tirk-console"
                + " cache: ") && error.contains(" may remove, rename or re-permission " + open + " or what it holds"), error);
    }

    @Test
    @Tag(EVERY_JVM)
    void explicitPathComesFirstAndNamesItselfWhenWrong() throws Exception {
        Path cache = temp.resolve("cache");
        assertEquals(OURS, load(damagedJar().toString(), "-Dtirk.console.library=" + LIBRARY_FILE, cacheOption(cache)));
        assertFalse(Files.exists(cache));
        String missing = temp.resolve("nowhere").resolve(LIBRARY).toString();
        String error = load(NATIVES_JAR, "-Dtirk.console.library=" + missing);
        assertTrue(error.startsWith("error: Cannot load the tirk-console library " + missing), error);
        assertTrue(error.contains("-Dtirk.console.library") && error.contains("-Dtirk.console.cache"), error);
    }

    @Test
    @Tag(EVERY_JVM)
    void aSameNamedLibraryOnTheLibraryPathLosesUnlessAskedFor() throws Exception {
        String cache = cacheOption(temp.resolve("cache"));
        List<ProcessBuilder> decoyOnThePath = new ArrayList<>();
        for (String useLibraryPath : new String[] {"false", "true"}) {
            String option = "-Dtirk.console.useLibraryPath=" + useLibraryPath;
            if (WINDOWS) {
                // Windows puts the working folder and every folder on PATH on java.library.path.
                decoyOnThePath.add(probe(NATIVES_JAR, cache, option).directory(new File(DECOY_FOLDER)));
                ProcessBuilder onPath = probe(NATIVES_JAR, cache, option);
                onPath.environment().put("PATH", DECOY_FOLDER + File.pathSeparator + System.getenv("PATH"));
                decoyOnThePath.add(onPath);
            } else {
                decoyOnThePath.add(probe(NATIVES_JAR, cache, option, "-Djava.library.path=" + DECOY_FOLDER));
            }
        }
        for (int i = 0; i < decoyOnThePath.size(); i++) {
            boolean asked = i >= decoyOnThePath.size() / 2;
            assertEquals(asked ? DECOY : OURS, ChildJvm.output(ChildJvm.start(decoyOnThePath.get(i))), "case " + i);
        }

        Path unused = temp.resolve("unused-cache");
        assertEquals(OURS, load(null, "-Djava.library.path=" + LIBRARY_FILE.getParent(), cacheOption(unused)),
                "a jar without this platform's library falls back to the path");
        assertFalse(Files.exists(unused));
    }

    @Test
    @Tag(EVERY_JVM)
    void theDefaultCacheOnWindowsIsInLocalAppData() throws Exception {
        assumeTrue(WINDOWS);
        String trace = load(NATIVES_JAR, "-Dtirk.console.debug=true");
        Path expected = Paths.get(System.getenv("LOCALAPPDATA"), "tirk-console")
                .resolve(LibraryInstaller.sha256(Files.readAllBytes(LIBRARY_FILE))).resolve(LIBRARY);
        assertEquals(Collections.singletonList(expected), loadedFiles(trace), trace);
        assertArrayEquals(Files.readAllBytes(LIBRARY_FILE), Files.readAllBytes(expected));
    }

    @Test
    void clearErrorsWhenTheJarCannotServeThisMachine() throws Exception {
        String platform = WinConsoleNative.platform(System.getProperty("os.name"), System.getProperty("os.arch"));
        String missing = load(null, cacheOption(temp));
        assertTrue(missing.contains(WINDOWS ? "The tirk-console jar holds no library for " + platform
                : "supports windows-x86-64 and windows-aarch64 only; this JVM runs on Linux"), missing);
        assertTrue(missing.contains("(looked for /org/tirk/terminal/tty/impl/native/" + platform + "/" + LIBRARY + ")"),
                missing);
        assertTrue(missing.contains("not on java.library.path either"), missing);
        assertTrue(missing.contains("-Dtirk.console.library="), missing);

        String unsupported = load(NATIVES_JAR, "-Dos.arch=sparcv9", cacheOption(temp));
        assertTrue(unsupported.contains("supports windows-x86-64 and windows-aarch64 only; this JVM runs on "
                + System.getProperty("os.name") + " sparcv9"), unsupported);

        String damaged = load(damagedJar().toString(), cacheOption(temp));
        assertTrue(damaged.startsWith("error: The tirk-console jar is damaged: " + "org/tirk/terminal/tty/impl/native/"
                + platform + "/" + LIBRARY + " reads as"), damaged);
        assertTrue(damaged.contains("-Dtirk.console.library="), damaged);
    }

    @Test
    void sixteenJvmsStartingAtOnceAllLoad() throws Exception {
        Path cache = temp.resolve("cache");
        List<Process> processes = new ArrayList<>();
        for (int i = 0; i < 16; i++) {
            processes.add(ChildJvm.start(probe(NATIVES_JAR, cacheOption(cache))));
        }
        for (Process process : processes) {
            assertEquals(OURS, ChildJvm.output(process));
        }
        Path copy = cachedCopy(cache);
        assertArrayEquals(Files.readAllBytes(LIBRARY_FILE), Files.readAllBytes(copy));
        assertEquals(Arrays.asList(LIBRARY), filesIn(copy.getParent()));
    }

    @Test
    void aJvmStartsWhileAnotherHoldsTheCachedLibraryEvenOneThatMustBeReplaced() throws Exception {
        Path cache = temp.resolve("cache");
        Path copy = cachedCopy(cache);
        byte[] library = Files.readAllBytes(LIBRARY_FILE);
        try (Holder holder = new Holder(probe(NATIVES_JAR, cacheOption(cache), "hold"))) {
            assertEquals(OURS, holder.firstLine);
            assertEquals(OURS, load(NATIVES_JAR, cacheOption(cache)));
        }
        // A library that is not ours where the cache's copy belongs, held loaded (Windows will
        // then neither overwrite nor rename over it).
        Files.copy(Paths.get(DECOY_FOLDER, LIBRARY), copy, java.nio.file.StandardCopyOption.REPLACE_EXISTING);
        try (Holder holder = new Holder(probe(null, "-Dtirk.console.library=" + copy, "hold"))) {
            assertEquals(DECOY, holder.firstLine);
            String trace = load(NATIVES_JAR, cacheOption(cache), "-Dtirk.console.debug=true");
            assertTrue(trace.endsWith(OURS), trace);
            List<Path> loaded = loadedFiles(trace);
            assertEquals(1, loaded.size(), trace);
            assertArrayEquals(library, Files.readAllBytes(loaded.get(0)), trace);
        }
    }

    /** A probe JVM that holds the library loaded until closed. */
    static final class Holder implements AutoCloseable {
        final Process process;
        final String firstLine;

        Holder(ProcessBuilder probe) throws IOException {
            process = ChildJvm.start(probe);
            firstLine = new BufferedReader(new InputStreamReader(process.getInputStream(), StandardCharsets.UTF_8))
                    .readLine();
        }

        @Override
        public void close() throws Exception {
            process.getOutputStream().close();
            assertEquals(0, process.waitFor());
        }
    }

    @Test
    @Tag(EVERY_JVM)
    void eachOfThreeClassLoadersAliveAtOnceGetsAWorkingCopy() throws Exception {
        Path cache = temp.resolve("cache");
        for (String named : new String[] {null, "-Dtirk.console.library=" + LIBRARY_FILE}) {
            List<String> options = new ArrayList<>(Arrays.asList(cacheOption(cache), "-Dtirk.console.debug=true"));
            if (named != null) {
                options.add(named);
            }
            options.addAll(Arrays.asList("loaders", "3", NATIVES_JAR));
            String trace = load(null, options.toArray(new String[0]));
            assertEquals(Arrays.asList(OURS, OURS, OURS),
                    Arrays.stream(trace.split("\\R")).filter(line -> !line.startsWith("tirk-console:"))
                            .collect(Collectors.toList()), trace);
            List<Path> loaded = loadedFiles(trace);
            assertEquals(3, new java.util.HashSet<>(loaded).size(), trace);
            for (Path file : loaded) {
                assertArrayEquals(Files.readAllBytes(LIBRARY_FILE), Files.readAllBytes(file), file.toString());
            }
        }
        // Both runs share one folder and its names: nothing piles up.
        assertEquals(Stream.of(1, 2, 3).map(copy -> LibraryInstaller.copyName(LIBRARY, copy)).sorted()
                .collect(Collectors.toList()), filesIn(cachedCopy(cache).getParent()));
    }

    @Test
    @Tag(EVERY_JVM)
    void aClassLoaderAfterACollectedOneLoadsToo() throws Exception {
        String output = load(null, cacheOption(temp.resolve("cache")), "collected", NATIVES_JAR);
        assertEquals(Arrays.asList(OURS, "collected", OURS), Arrays.asList(output.split("\\R")), output);
    }

    @Test
    void namedModuleGrantedNativeAccessLoadsWithoutWarning() throws Exception {
        assumeFalse(NEWER_JAVA.isEmpty(), "no JDK 24 or later: restricted-method warnings not checked");
        List<String> command = new ArrayList<>(Arrays.asList(NEWER_JAVA, "--module-path", NATIVES_JAR,
                "--add-modules", "org.tirk.terminal.console", cacheOption(temp.resolve("cache")),
                "-cp", ChildJvm.CLASSES, LoadProbe.class.getName()));
        command.addAll(1, ChildJvm.OPTIONS.stream().filter(o -> o.startsWith("-XX")).collect(Collectors.toList()));
        String warned = ChildJvm.output(command);
        assertTrue(warned.contains("WARNING: A restricted method in java.lang.System has been called")
                && warned.contains("module org.tirk.terminal.console"), warned);
        command.add(1, "--enable-native-access=org.tirk.terminal.console");
        assertEquals(OURS, ChildJvm.output(command));
    }

    @Test
    void aRuntimeImageMadeByJlinkExtractsFromItself() throws Exception {
        // Debian ships the jmods with the JDK itself.
        Path jmods = Paths.get(System.getProperty("java.home"), "jmods");
        assumeTrue(!WINDOWS && Files.isDirectory(jmods), "no jmods to link a runtime image from");
        Path image = temp.resolve("image");
        List<String> jlink = Arrays.asList(Paths.get(System.getProperty("java.home"), "bin", "jlink").toString(),
                "--module-path", NATIVES_JAR + File.pathSeparator + jmods, "--add-modules", "org.tirk.terminal.console",
                "--output", image.toString());
        assertEquals("", ChildJvm.output(jlink));
        Path cache = temp.resolve("cache");
        String trace = ChildJvm.output(Arrays.asList(image.resolve("bin").resolve("java").toString(), cacheOption(cache),
                "-Dtirk.console.debug=true", "-cp", Paths.get(LoadProbe.class.getProtectionDomain().getCodeSource()
                        .getLocation().toURI()).toString(), LoadProbe.class.getName()));
        assertTrue(trace.contains("the class path holds jrt:/org.tirk.terminal.console/"), trace);
        assertTrue(trace.endsWith(OURS), trace);
        assertArrayEquals(Files.readAllBytes(LIBRARY_FILE), Files.readAllBytes(cachedCopy(cache)));
    }

    /** The jar's command line with `jar`, if any, on the class path: {exit status, standard output, standard error}. */
    String[] tool(String jar, String[] options, String... arguments) throws Exception {
        List<String> command = new ArrayList<>(Arrays.asList(options));
        command.add(WinConsoleTool.class.getName());
        command.addAll(Arrays.asList(arguments));
        Path errors = temp.resolve("stderr.txt");
        Process process = ChildJvm.start(new ProcessBuilder(ChildJvm.command("java", jar, command.toArray(new String[0])))
                .redirectError(errors.toFile()));
        String output = ChildJvm.output(process).replace("\r\n", "\n");
        return new String[] {String.valueOf(process.exitValue()), output,
            new String(Files.readAllBytes(errors), StandardCharsets.UTF_8).trim()};
    }

    static String quote(Object text) {
        return Pattern.quote(text.toString());
    }

    @Test
    void theCommandLineReportsWhatLoadsAndFailsOnOneLine() throws Exception {
        Path cache = temp.resolve("cache"), sharedCache = shared(temp.resolve("shared"));
        Path inFile = Files.write(temp.resolve("a-file"), new byte[] {1}).resolve("cache");
        String missing = temp.resolve("none").resolve(LIBRARY).toString();
        String platform = WinConsoleNative.platform(System.getProperty("os.name"), System.getProperty("os.arch"));
        String noLibrary = WINDOWS ? "The tirk-console jar holds no library for " + platform
                : "tirk-console supports windows-x86-64 and windows-aarch64 only; this JVM runs on Linux";
        // On Windows the product jar, whose DLLs the test build signs (its runner says by whom; a
        // build without signing leaves them unsigned), and the children's standard handles are
        // pipes; on Linux a jar of the Linux library over the stand-in console.
        String signer = System.getenv("TIRK_TEST_SIGNER");
        String version = WINDOWS ? "\n" + platform + ": tirk-console.dll, " + Files.size(LIBRARY_FILE) + " bytes\n"
                + platform + " sha-256: " + LibraryInstaller.sha256(Files.readAllBytes(LIBRARY_FILE)) + "\n" + platform
                + " authenticode: " + (signer == null ? "none (unsigned)"
                    : "signed by " + signer + " (the signature is not verified here)") + "\n"
                : "\nwindows-x86-64: not in the jar\n";
        String consoles = WINDOWS ? "standard input: not a console (a pipe)\nstandard output: not a console (a pipe)"
                : "standard input: console, mode 0x0\nstandard output: console, mode 0x0";
        String[] none = {}, check = {"--check"};
        // jar; options; arguments; exit status; what standard output holds; a pattern of standard error.
        Object[][] cases = {
            {NATIVES_JAR, new String[] {"-Dtirk.console.library=" + missing}, new String[] {"--version"}, 0, version, ""},
            {NATIVES_JAR, new String[] {cacheOption(cache)}, check, WINDOWS ? 1 : 0, "\nlibrary: " + cachedCopy(cache)
                + "\nplatform: " + platform + "\ncache folder: " + cache + "\ncache folder rule: passes", ""},
            {NATIVES_JAR, new String[] {cacheOption(cache)}, check, WINDOWS ? 1 : 0, "\n" + consoles + "\n", ""},
            // This user's account, which the JDK reads from the token (on Linux, the owner of new files).
            {null, new String[] {cacheOption(cache)}, check, 2, "\nuser: " + (WINDOWS ? System.getenv("USERDOMAIN") + "\\"
                + System.getProperty("user.name") + " (S-1-5-" : System.getProperty("user.name") + "\n"),
                "tirk-console: " + quote(noLibrary) + ".*"},
            {NATIVES_JAR, new String[] {cacheOption(sharedCache)}, check, 2, "\ncache folder: " + sharedCache
                + " (another account can change it: ",
                "tirk-console: Cannot use the folder " + quote(sharedCache) + " as the tirk-console cache: (.+, )?"
                + (WINDOWS ? "Everyone" : "every other account") + " may write to " + quote(sharedCache) + "\\. .*"},
            {NATIVES_JAR, new String[] {cacheOption(inFile)}, check, 2, "\ncache folder: " + inFile + " (cannot be written: ",
                "tirk-console: Cannot extract the tirk-console library into " + quote(inFile) + ": .*"},
            {NATIVES_JAR, new String[] {"-Dtirk.console.library=" + missing}, check, 2, "\nlibrary: not loaded\n",
                "tirk-console: Cannot load the tirk-console library " + quote(missing) + " .*"},
            {null, new String[] {cacheOption(cache)}, check, 2, "\nlibrary: not loaded\n", "tirk-console: " + quote(noLibrary) + ".*"},
            {null, new String[] {cacheOption(cache)}, none, 2, "", "tirk-console: " + quote(noLibrary) + ".*"},
            {null, none, new String[] {"--help"}, 0, "Usage: java -jar tirk-console.jar [OPTION]", ""},
            {null, none, new String[] {"--check", "--bogus"}, 2, "", "tirk-console: unknown option --check --bogus\\RUsage: (.|\\R)*"},
        };
        for (Object[] row : cases) {
            String[] ran = tool((String) row[0], (String[]) row[1], (String[]) row[2]);
            String what = Arrays.toString((String[]) row[1]) + " " + Arrays.toString((String[]) row[2]) + " gave "
                    + String.join("\n---\n", ran);
            assertEquals(String.valueOf(row[3]), ran[0], what);
            // Each expected line whole: output is trimmed, so its last line ends without a newline.
            assertTrue((ran[1] + "\n").contains((String) row[4]), what);
            assertTrue(ran[2].matches((String) row[5]), what); // one line, but for the usage
        }
    }

    @Test
    void platformAndCopyNames() {
        assertEquals("windows-x86-64", WinConsoleNative.platform("Windows 11", "amd64"));
        assertEquals("windows-aarch64", WinConsoleNative.platform("Windows Server 2022", "aarch64"));
        assertEquals("linux-x86-64", WinConsoleNative.platform("Linux", "x86_64"));
        assertEquals("macos-aarch64", WinConsoleNative.platform("Mac OS X", "aarch64"));
        assertNull(WinConsoleNative.platform("Windows 10", "x86"));
        assertNull(WinConsoleNative.platform("SunOS", "amd64"));
        assertEquals("tirk-console-2.dll", LibraryInstaller.copyName("tirk-console.dll", 2));
        assertEquals("a-library-3", LibraryInstaller.copyName("a-library", 3));
    }
}
