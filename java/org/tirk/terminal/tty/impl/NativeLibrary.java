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
 *   <li>{@code tirk-console} on {@code java.library.path};</li>
 *   <li>the library inside the jar, extracted into a per-user cache folder named by its SHA-256
 *       ({@code %LOCALAPPDATA%\tirk-console} on Windows, else {@code java.io.tmpdir}, or the
 *       folder named by {@value #CACHE_PROPERTY}). An identical copy already there is used as it
 *       is; anything else is replaced by writing a temporary file beside it, checking it and
 *       renaming it into place, so that any number of JVMs may start at once.</li>
 * </ol>
 * Every failure is an {@link UnsatisfiedLinkError} that says what was found and what to do.
 */
final class NativeLibrary {

    static final String LIBRARY_PROPERTY = "tirk.console.library";
    static final String CACHE_PROPERTY = "tirk.console.cache";
    static final String SUPPORTED_PLATFORM = "windows-x86-64";

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
        try {
            System.loadLibrary(NAME);
            return;
        } catch (UnsatisfiedLinkError notOnLibraryPath) {
            // Fall through to the copy inside the jar.
        }
        loadFile(extract().toFile(), "extracted from the jar");
    }

    private static void loadFile(File file, String origin) {
        try {
            System.load(file.getPath());
        } catch (UnsatisfiedLinkError e) {
            throw new UnsatisfiedLinkError("Cannot load the tirk-console library " + file + " (" + origin + "): "
                    + e.getMessage());
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

    private static Path extract() {
        String osName = System.getProperty("os.name", "");
        String osArch = System.getProperty("os.arch", "");
        String platform = platform(osName, osArch);
        String fileName = System.mapLibraryName(NAME);
        String avoidExtraction = " To load the library from a file of your own, set -D" + LIBRARY_PROPERTY
                + "=<path of " + fileName + ">.";
        if (platform == null) {
            throw new UnsatisfiedLinkError("tirk-console supports " + SUPPORTED_PLATFORM + " only; this JVM runs on "
                    + osName + " " + osArch + "." + avoidExtraction);
        }
        String resource = RESOURCE_ROOT + platform + "/" + fileName;
        byte[] library = readResource(resource);
        byte[] digestText = readResource(resource + ".sha256");
        if (library == null || digestText == null) {
            throw new UnsatisfiedLinkError("The tirk-console jar holds no native library for " + platform
                    + " (looked for " + resource + "); it supports " + SUPPORTED_PLATFORM + ", and " + NAME
                    + " was not found on java.library.path either." + avoidExtraction);
        }
        String expected = new String(digestText, StandardCharsets.US_ASCII).trim().split("\\s+")[0]
                .toLowerCase(Locale.ROOT);
        String actual = sha256(library);
        if (!actual.equals(expected)) {
            throw new UnsatisfiedLinkError("The tirk-console jar is damaged: " + resource + " has SHA-256 " + actual
                    + " but the jar records " + expected + ". Replace the jar.");
        }

        Path folder = cacheRoot().resolve(expected);
        Path target = folder.resolve(fileName);
        if (hasDigest(target, expected)) {
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
