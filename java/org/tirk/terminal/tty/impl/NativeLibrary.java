package org.tirk.terminal.tty.impl;

import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.io.RandomAccessFile;
import java.net.URI;
import java.net.URL;
import java.net.URLConnection;
import java.security.CodeSource;
import java.util.Arrays;
import java.util.Locale;
import java.util.zip.CRC32;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;

/**
 * Loads the tirk-console native library, trying in turn:
 * <ol>
 *   <li>the file named by the system property {@value #LIBRARY_PROPERTY}, for machines where
 *       nothing may be extracted;</li>
 *   <li>with {@value #USE_LIBRARY_PATH_PROPERTY}{@code =true} only, {@code tirk-console} on
 *       {@code java.library.path};</li>
 *   <li>the library inside the jar for this platform, checked against the CRC-32 the jar's
 *       directory records for it and extracted into a per-user cache folder named by the SHA-256
 *       the jar records ({@code %LOCALAPPDATA%\tirk-console} on Windows, else
 *       {@code java.io.tmpdir}, or the folder named by {@value #CACHE_PROPERTY}). A copy already
 *       there is used when it has the size and CRC-32 that the jar records for the library;</li>
 *   <li>only when the jar holds no library for this platform (a repackaged jar),
 *       {@code tirk-console} on {@code java.library.path}.</li>
 * </ol>
 * A same-named library that happens to lie on {@code java.library.path} (which on Windows holds
 * every folder on PATH and the working directory) is therefore never loaded in place of the
 * jar's copy. With {@value #DEBUG_PROPERTY}{@code =true} each step and the file finally loaded
 * are printed to {@code System.err}.
 *
 * <p>Start-up matters to command-line programs, so this class holds only the common start: a
 * copy already in the cache, found from properties alone, which reads one small jar entry and the
 * copy (where the classes do not come from a jar file, the library too). Everything else (the
 * properties, extraction and replacement, copies for further class loaders, fallbacks and every
 * error) is {@link LibraryInstaller}'s, which the JVM loads only when it is needed.
 */
final class NativeLibrary {

    static final String LIBRARY_PROPERTY = "tirk.console.library";
    static final String CACHE_PROPERTY = "tirk.console.cache";
    static final String USE_LIBRARY_PATH_PROPERTY = "tirk.console.useLibraryPath";
    static final String DEBUG_PROPERTY = "tirk.console.debug";
    static final String NAME = "tirk-console";
    static final String RESOURCE_ROOT = "org/tirk/terminal/tty/impl/native/";

    private NativeLibrary() {
    }

    static void load() {
        boolean loaded;
        try {
            loaded = loadedFromCache();
        } catch (Exception unusual) {
            // A file that cannot be read, a class path or security manager this start does not
            // expect: the installer copes, or says what went wrong.
            loaded = false;
        }
        if (!loaded) {
            LibraryInstaller.load();
        }
    }

    /**
     * Loads the library from the cache if the copy there has the size and CRC-32 of the library
     * beside this class (as the jar's directory records them, or computed where the classes do not
     * come from a jar file), the cache folder is given by a property or {@code LOCALAPPDATA} and is
     * plain ASCII, and no property asks for another library; false, having changed nothing, where
     * any of that does not hold.
     *
     * <p>The copy is not compared byte for byte with the library: in interpreted code, as a JVM's
     * start runs, that costs a millisecond or more for a library of a few dozen kilobytes, while
     * the CRC-32 is computed natively. It catches any damage the cache could suffer; a copy made to
     * match it on purpose would take someone who can write to this user's cache, and so to the
     * user's jars too. Where there is no jar directory, the installer checks the library against
     * the SHA-256 beside it once, when it extracts it.
     */
    private static boolean loadedFromCache() throws IOException {
        String named = System.getProperty(LIBRARY_PROPERTY);
        String platform = platform(System.getProperty("os.name", ""), System.getProperty("os.arch", ""));
        File root = plainCacheRoot();
        if ((named != null && !named.isEmpty()) || Boolean.getBoolean(USE_LIBRARY_PATH_PROPERTY) || platform == null
                || root == null) {
            return false;
        }
        String fileName = System.mapLibraryName(NAME);
        String resource = RESOURCE_ROOT + platform + "/" + fileName;
        File jar = jarOfThisClass();
        long size = -1;
        long crc = -1;
        byte[] digest;
        if (jar != null) {
            try (ZipFile zip = new ZipFile(jar)) {
                ZipEntry library = zip.getEntry(resource);
                digest = library == null ? null : entry(zip, resource + ".sha256");
                if (library != null) {
                    size = library.getSize();
                    crc = library.getCrc();
                }
            }
        } else {
            // Classes in a folder, a runtime image, a bundle, a nested jar: nothing records a
            // CRC-32 to compare with, so it is computed.
            byte[] library = resource(resource);
            digest = library == null ? null : resource(resource + ".sha256");
            if (library != null) {
                size = library.length;
                crc = crc32(library);
            }
        }
        String folder = digest == null ? null : leadingDigest(digest);
        File file = folder == null ? null : new File(new File(root, folder), fileName);
        if (file == null || file.length() != size || crc32(readFile(file)) != crc) {
            return false;
        }
        // Catches UnsatisfiedLinkError through a class every JVM has loaded before its first
        // class, so that checking this method loads none.
        try {
            System.load(file.getPath());
        } catch (LinkageError e) {
            return false; // held by another class loader, or refused: the installer says which
        }
        if (Boolean.getBoolean(DEBUG_PROPERTY)) {
            trace("loaded " + file + " (extracted from the jar)");
        }
        return true;
    }

    /** The resource's bytes, or null if the class path holds none of that name. */
    private static byte[] resource(String name) throws IOException {
        URL url = NativeLibrary.class.getResource("/" + name);
        if (url == null) {
            return null;
        }
        URLConnection connection = url.openConnection();
        // A cached connection would keep a jar open (and, on Windows, locked) for good.
        connection.setUseCaches(false);
        try (InputStream in = connection.getInputStream()) {
            return readAll(in, -1);
        }
    }

    /** The cache folder, if a property or LOCALAPPDATA names it and its path is plain ASCII; else null. */
    private static File plainCacheRoot() {
        String configured = System.getProperty(CACHE_PROPERTY);
        String localAppData = System.getProperty("os.name", "").startsWith("Windows") ? System.getenv("LOCALAPPDATA")
                : null;
        File root = configured != null && !configured.isEmpty() ? new File(configured).getAbsoluteFile()
                : localAppData != null ? new File(localAppData, NAME) : null;
        return root != null && ascii(root.getPath()) ? root : null;
    }

    static boolean ascii(String path) {
        for (int i = 0; i < path.length(); i++) {
            if (path.charAt(i) >= 0x80) {
                return false;
            }
        }
        return true;
    }

    /** The jar file this class was loaded from, or null if it did not come from a jar file. */
    static File jarOfThisClass() {
        CodeSource source = NativeLibrary.class.getProtectionDomain().getCodeSource();
        URL location = source == null ? null : source.getLocation();
        if (location == null || !"file".equals(location.getProtocol())) {
            return null;
        }
        File file;
        String path = location.getPath();
        String authority = location.getAuthority();
        if (path.indexOf('%') < 0 && (authority == null || authority.isEmpty()) && location.getQuery() == null) {
            // What new File(URI) makes of a URL without escapes, without parsing it as a URI.
            if (File.separatorChar == '\\') {
                path = (path.length() > 2 && path.charAt(0) == '/' && path.charAt(2) == ':' ? path.substring(1) : path)
                        .replace('/', '\\');
            }
            file = new File(path);
        } else {
            file = new File(URI.create(location.toString()));
        }
        return file.isFile() ? file : null;
    }

    /** The entry's bytes, if it is there with the size and CRC-32 that the jar's directory records; else null. */
    private static byte[] entry(ZipFile zip, String name) throws IOException {
        ZipEntry entry = zip.getEntry(name);
        if (entry == null) {
            return null;
        }
        byte[] bytes;
        try (InputStream in = zip.getInputStream(entry)) {
            bytes = readAll(in, entry.getSize());
        }
        return bytes.length == entry.getSize() && crc32(bytes) == entry.getCrc() ? bytes : null;
    }

    static long crc32(byte[] bytes) {
        CRC32 crc = new CRC32();
        crc.update(bytes, 0, bytes.length);
        return crc.getValue();
    }

    /** The 64 lower-case hexadecimal digits at the start of a .sha256 file, which name the cache folder; else null. */
    @SuppressWarnings("deprecation") // the constructor that copies bytes as they are, right for ASCII
    static String leadingDigest(byte[] text) {
        for (int i = 0; i < 64; i++) {
            if (i == text.length || !(text[i] >= '0' && text[i] <= '9' || text[i] >= 'a' && text[i] <= 'f')) {
                return null;
            }
        }
        return new String(text, 0, 0, 64);
    }

    /** The whole of `file`, read through the class the JVM opens jars with, which is loaded already. */
    static byte[] readFile(File file) throws IOException {
        try (RandomAccessFile in = new RandomAccessFile(file, "r")) {
            // A file too large for an array is read in part, and so differs from the library.
            byte[] bytes = new byte[(int) Math.min(in.length(), Integer.MAX_VALUE - 8)];
            in.readFully(bytes);
            return bytes;
        }
    }

    /** All of `in`, which should be `length` bytes long (-1: unknown). */
    static byte[] readAll(InputStream in, long length) throws IOException {
        byte[] bytes = new byte[length >= 0 && length < Integer.MAX_VALUE ? (int) length : 8192];
        int total = 0;
        for (int n; (n = in.read(bytes, total, bytes.length - total)) > 0; ) {
            total += n;
            if (total == bytes.length && length < 0) {
                bytes = Arrays.copyOf(bytes, 2 * total);
            }
        }
        return total == bytes.length ? bytes : Arrays.copyOf(bytes, total);
    }

    static void trace(String step) {
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
}
