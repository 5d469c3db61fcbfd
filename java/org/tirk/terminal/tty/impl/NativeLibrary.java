package org.tirk.terminal.tty.impl;

import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.AtomicMoveNotSupportedException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.nio.file.attribute.PosixFilePermissions;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.util.Locale;

/**
 * Loads the tirk-console native library, trying in turn:
 * <ol>
 *   <li>the file named by the system property {@value #LIBRARY_PROPERTY}, for machines where
 *       nothing may be extracted;</li>
 *   <li>with {@value #USE_LIBRARY_PATH_PROPERTY}{@code =true} only, {@code tirk-console} on
 *       {@code java.library.path};</li>
 *   <li>the library inside the jar for this platform, checked against the SHA-256 the jar
 *       records and extracted into a per-user cache folder named by that SHA-256
 *       ({@code %LOCALAPPDATA%\tirk-console} on Windows, else {@code java.io.tmpdir}, or the
 *       folder named by {@value #CACHE_PROPERTY}). An identical copy already there is used as it
 *       is; anything else is replaced by writing a temporary file beside it, checking it and
 *       renaming it into place, so that any number of JVMs may start at once;</li>
 *   <li>only when the jar holds no library for this platform (a repackaged jar),
 *       {@code tirk-console} on {@code java.library.path}.</li>
 * </ol>
 * A same-named library that happens to lie on {@code java.library.path} (which on Windows holds
 * every folder on PATH and the working directory) is therefore never loaded in place of the
 * verified copy. With {@value #DEBUG_PROPERTY}{@code =true} each step and the file finally
 * loaded are printed to {@code System.err}. Every failure is an {@link UnsatisfiedLinkError}
 * that says what was found and which property helps.
 */
final class NativeLibrary {

    static final String LIBRARY_PROPERTY = "tirk.console.library";
    static final String CACHE_PROPERTY = "tirk.console.cache";
    static final String USE_LIBRARY_PATH_PROPERTY = "tirk.console.useLibraryPath";
    static final String DEBUG_PROPERTY = "tirk.console.debug";
    static final String SUPPORTED_PLATFORMS = "windows-x86-64 and windows-aarch64";

    private static final String NAME = "tirk-console";
    private static final String RESOURCE_ROOT = "/org/tirk/terminal/tty/impl/native/";

    private NativeLibrary() {
    }

    static void load() {
        String explicit = System.getProperty(LIBRARY_PROPERTY);
        if (explicit != null && !explicit.isEmpty()) {
            loadFile(new File(explicit).getAbsoluteFile(), "named by -D" + LIBRARY_PROPERTY);
            return;
        }
        trace("-D" + LIBRARY_PROPERTY + " is not set");
        if (Boolean.getBoolean(USE_LIBRARY_PATH_PROPERTY)) {
            trace("-D" + USE_LIBRARY_PATH_PROPERTY + "=true: looking on java.library.path first");
            if (loadFromLibraryPath()) {
                return;
            }
        }
        String osName = System.getProperty("os.name", "");
        String osArch = System.getProperty("os.arch", "");
        String platform = platform(osName, osArch);
        String fileName = System.mapLibraryName(NAME);
        String resource = platform == null ? null : RESOURCE_ROOT + platform + "/" + fileName;
        byte[] library = resource == null ? null : readResource(resource);
        byte[] digestText = resource == null ? null : readResource(resource + ".sha256");
        if (library != null) {
            trace("the jar holds " + resource);
            if (digestText == null) {
                throw new UnsatisfiedLinkError("The tirk-console jar is damaged: it holds " + resource
                        + " but no SHA-256 to check it against. Replace the jar, or set -D" + LIBRARY_PROPERTY
                        + "=<path of " + fileName + "> to load a library of your own.");
            }
            loadFile(extract(resource, library, digestText, fileName).toFile(), "extracted from the jar");
            return;
        }
        trace("the jar holds no library for " + (platform == null ? osName + " " + osArch : platform)
                + (resource == null ? "" : " (looked for " + resource + ")"));
        if (!Boolean.getBoolean(USE_LIBRARY_PATH_PROPERTY) && loadFromLibraryPath()) {
            return;
        }
        throw new UnsatisfiedLinkError("tirk-console supports " + SUPPORTED_PLATFORMS + " only; this JVM runs on "
                + osName + " " + osArch + ", for which the jar holds no native library"
                + (resource == null ? "" : " (looked for " + resource + ")") + " and " + NAME
                + " is not on java.library.path either. To load a library of your own, set -D" + LIBRARY_PROPERTY
                + "=<path of " + fileName + ">.");
    }

    /** Loads tirk-console from java.library.path; false if it is not there. */
    private static boolean loadFromLibraryPath() {
        try {
            System.loadLibrary(NAME);
        } catch (UnsatisfiedLinkError notThere) {
            trace(NAME + " not loaded from java.library.path: " + notThere.getMessage());
            return false;
        }
        trace("loaded " + onLibraryPath() + " (found on java.library.path)");
        return true;
    }

    /** The file System.loadLibrary takes: the first match on java.library.path. */
    private static String onLibraryPath() {
        String fileName = System.mapLibraryName(NAME);
        for (String folder : System.getProperty("java.library.path", "").split(File.pathSeparator)) {
            File candidate = new File(folder.isEmpty() ? "." : folder, fileName);
            if (candidate.isFile()) {
                return candidate.getAbsolutePath();
            }
        }
        return fileName;
    }

    private static void loadFile(File file, String origin) {
        try {
            System.load(file.getPath());
        } catch (UnsatisfiedLinkError e) {
            throw new UnsatisfiedLinkError("Cannot load the tirk-console library " + file + " (" + origin + "): "
                    + e.getMessage());
        }
        trace("loaded " + file + " (" + origin + ")");
    }

    private static void trace(String step) {
        if (Boolean.getBoolean(DEBUG_PROPERTY)) {
            System.err.println("tirk-console: " + step);
        }
    }

    /** The platform's folder name such as "windows-x86-64", or null if the platform is unknown. */
    static String platform(String osName, String osArch) {
        String os = osName.toLowerCase(Locale.ROOT);
        String arch = osArch.toLowerCase(Locale.ROOT);
        String osPart = os.startsWith("windows") ? "windows"
                : os.startsWith("linux") ? "linux"
                : os.startsWith("mac") || os.startsWith("darwin") ? "macos"
                : null;
        String archPart = arch.equals("amd64") || arch.equals("x86_64") || arch.equals("x86-64") ? "x86-64"
                : arch.equals("aarch64") || arch.equals("arm64") ? "aarch64"
                : null;
        return osPart == null || archPart == null ? null : osPart + "-" + archPart;
    }

    /** The verified copy of the jar's library in the cache folder, extracted if need be. */
    private static Path extract(String resource, byte[] library, byte[] digestText, String fileName) {
        String expected = new String(digestText, StandardCharsets.US_ASCII).trim().split("\\s+")[0]
                .toLowerCase(Locale.ROOT);
        String actual = sha256(library);
        if (!actual.equals(expected)) {
            throw new UnsatisfiedLinkError("The tirk-console jar is damaged: " + resource + " has SHA-256 " + actual
                    + " but the jar records " + expected + ". Replace the jar, or set -D" + LIBRARY_PROPERTY
                    + "=<path of " + fileName + "> to load a library of your own.");
        }

        Path folder = cacheRoot().resolve(expected);
        Path target = folder.resolve(fileName);
        if (hasDigest(target, expected)) {
            trace("reusing the verified copy " + target);
            return target;
        }
        try {
            Files.createDirectories(folder);
            Path temporary = Files.createTempFile(folder, NAME, ".tmp");
            try {
                Files.write(temporary, library);
                if (!hasDigest(temporary, expected)) {
                    throw new IOException("the copy written to " + temporary + " does not match its SHA-256");
                }
                moveIntoPlace(temporary, target);
            } finally {
                Files.deleteIfExists(temporary);
            }
        } catch (IOException | RuntimeException e) {
            // Another JVM may have put an identical copy in place while this one failed.
            if (hasDigest(target, expected)) {
                return target;
            }
            throw new UnsatisfiedLinkError("Cannot extract the tirk-console library into " + folder + ": " + e
                    + ". Point -D" + CACHE_PROPERTY + " at a writable folder, or set -D" + LIBRARY_PROPERTY
                    + "=<path of " + fileName + "> to load it without extracting.");
        }
        trace("extracted the verified copy " + target);
        return target;
    }

    private static void moveIntoPlace(Path temporary, Path target) throws IOException {
        try {
            Files.move(temporary, target, StandardCopyOption.ATOMIC_MOVE);
        } catch (AtomicMoveNotSupportedException e) {
            Files.move(temporary, target, StandardCopyOption.REPLACE_EXISTING);
        }
    }

    private static Path cacheRoot() {
        String configured = System.getProperty(CACHE_PROPERTY);
        if (configured != null && !configured.isEmpty()) {
            return Paths.get(configured).toAbsolutePath();
        }
        String localAppData = System.getenv("LOCALAPPDATA");
        if (System.getProperty("os.name", "").startsWith("Windows") && localAppData != null) {
            return Paths.get(localAppData, NAME);
        }
        // A folder of this user's own inside the shared temporary folder, so that other users
        // can neither read nor plant files in it.
        String user = System.getProperty("user.name");
        Path root = Paths.get(System.getProperty("java.io.tmpdir"), NAME + "-" + user);
        String owner;
        try {
            Files.createDirectories(root, PosixFilePermissions.asFileAttribute(PosixFilePermissions.fromString("rwx------")));
            owner = Files.getOwner(root).getName();
        } catch (UnsupportedOperationException | IOException e) {
            return root; // left to the extraction, which reports a folder it cannot write to
        }
        if (!owner.equals(user)) {
            throw new UnsatisfiedLinkError("The tirk-console cache folder " + root + " belongs to " + owner + ", not to "
                    + user + ". Point -D" + CACHE_PROPERTY + " at a folder of your own.");
        }
        return root;
    }

    private static boolean hasDigest(Path file, String expected) {
        try {
            return Files.isRegularFile(file) && sha256(Files.readAllBytes(file)).equals(expected);
        } catch (IOException e) {
            return false;
        }
    }

    private static byte[] readResource(String name) {
        try (InputStream in = NativeLibrary.class.getResourceAsStream(name)) {
            if (in == null) {
                return null;
            }
            ByteArrayOutputStream bytes = new ByteArrayOutputStream();
            byte[] buffer = new byte[8192];
            for (int n; (n = in.read(buffer)) > 0; ) {
                bytes.write(buffer, 0, n);
            }
            return bytes.toByteArray();
        } catch (IOException e) {
            throw new UnsatisfiedLinkError("Cannot read " + name + " from the tirk-console jar: " + e);
        }
    }

    static String sha256(byte[] bytes) {
        try {
            StringBuilder hex = new StringBuilder(64);
            for (byte b : MessageDigest.getInstance("SHA-256").digest(bytes)) {
                hex.append(Character.forDigit((b >> 4) & 0xF, 16)).append(Character.forDigit(b & 0xF, 16));
            }
            return hex.toString();
        } catch (NoSuchAlgorithmException e) {
            throw new IllegalStateException("every Java platform provides SHA-256", e);
        }
    }
}
