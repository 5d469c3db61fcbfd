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
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;

/**
 * Direct access to the Windows console through {@code tirk-console.dll}.
 *
 * <p>Each method makes at most one Win32 call and reports failure by a fixed value: -1 for an
 * {@code int} or {@code long} result, {@code false} for a {@code boolean}, {@code null} for an
 * {@code int[]}. Handles travel as {@code long} values with all 64 bits intact; 0 and -1 are never
 * passed to the platform. Values of 32 bits (modes, counts, code pages) keep their bit pattern, so
 * values of 2^31 and above arrive negative.
 *
 * <p>The class loads the native library when it is first used, from, in turn: the file named by
 * {@code -Dtirk.console.library=PATH}; with {@code -Dtirk.console.useLibraryPath=true} only,
 * {@code tirk-console} on {@code java.library.path}; the library inside the jar for this
 * platform (windows-x86-64 or windows-aarch64), extracted once into a per-user cache folder
 * ({@code -Dtirk.console.cache=DIR} chooses another, which is used only if no other account can
 * change it) and loaded from there only while the copy is the jar's library byte for byte; and,
 * only when the jar holds nothing for this platform, {@code java.library.path}. With
 * {@code -Dtirk.console.debug=true} each step and the file loaded are printed to
 * {@code System.err}. A library that cannot be loaded makes the first call throw an
 * {@link UnsatisfiedLinkError} that says what was found and which property helps.
 */
public final class WinConsoleNative {

    /** Selector of {@link #getStdHandle} for the standard input handle. */
    public static final int STD_INPUT_HANDLE = -10;
    /** Selector of {@link #getStdHandle} for the standard output handle. */
    public static final int STD_OUTPUT_HANDLE = -11;
    /** Selector of {@link #getStdHandle} for the standard error handle. */
    public static final int STD_ERROR_HANDLE = -12;

    /** Result of {@link #waitForSingleObject}: the handle is signalled (for console input: input is pending). */
    public static final int WAIT_OBJECT_0 = 0;
    /** Result of {@link #waitForSingleObject}: a mutex was abandoned by the thread that owned it. */
    public static final int WAIT_ABANDONED = 0x80;
    /** Result of {@link #waitForSingleObject}: the time-out elapsed. */
    public static final int WAIT_TIMEOUT = 0x102;
    /** Result of {@link #waitForSingleObject}: the wait failed (or the handle was 0 or -1). */
    public static final int WAIT_FAILED = -1;
    /** Time-out of {@link #waitForSingleObject} that never expires. */
    public static final int INFINITE = -1;

    /** Element 0 of an input event array for a key record. */
    public static final int KEY_EVENT = 0x1;
    /** Element 0 of an input event array for a mouse record. */
    public static final int MOUSE_EVENT = 0x2;
    /** Element 0 of an input event array for a window-resize record. */
    public static final int WINDOW_BUFFER_SIZE_EVENT = 0x4;

    /** Input mode bit: Ctrl+C and similar keys are handled by the console. */
    public static final int ENABLE_PROCESSED_INPUT = 0x1;
    /** Input mode bit: reads return only whole lines. */
    public static final int ENABLE_LINE_INPUT = 0x2;
    /** Input mode bit: typed characters are echoed (with line input). */
    public static final int ENABLE_ECHO_INPUT = 0x4;
    /** Input mode bit: window-resize records are delivered. */
    public static final int ENABLE_WINDOW_INPUT = 0x8;
    /** Input mode bit: mouse records are delivered. */
    public static final int ENABLE_MOUSE_INPUT = 0x10;
    /** Input mode bit: insert rather than overwrite when editing a line. */
    public static final int ENABLE_INSERT_MODE = 0x20;
    /** Input mode bit: the mouse selects text (with {@link #ENABLE_EXTENDED_FLAGS}). */
    public static final int ENABLE_QUICK_EDIT_MODE = 0x40;
    /** Input mode bit: needed to change {@link #ENABLE_QUICK_EDIT_MODE} and {@link #ENABLE_INSERT_MODE}. */
    public static final int ENABLE_EXTENDED_FLAGS = 0x80;
    /** Input mode bit: keys arrive as virtual terminal sequences. */
    public static final int ENABLE_VIRTUAL_TERMINAL_INPUT = 0x200;

    /** Output mode bit: control characters such as backspace and newline are acted on. */
    public static final int ENABLE_PROCESSED_OUTPUT = 0x1;
    /** Output mode bit: the cursor wraps at the end of a row. */
    public static final int ENABLE_WRAP_AT_EOL_OUTPUT = 0x2;
    /** Output mode bit: virtual terminal sequences in the output are acted on. */
    public static final int ENABLE_VIRTUAL_TERMINAL_PROCESSING = 0x4;
    /** Output mode bit: a line feed does not also return the cursor to the row's start. */
    public static final int DISABLE_NEWLINE_AUTO_RETURN = 0x8;

    /** Control-key state bit: the right Alt key is down. */
    public static final int RIGHT_ALT_PRESSED = 0x1;
    /** Control-key state bit: the left Alt key is down. */
    public static final int LEFT_ALT_PRESSED = 0x2;
    /** Control-key state bit: the right Ctrl key is down. */
    public static final int RIGHT_CTRL_PRESSED = 0x4;
    /** Control-key state bit: the left Ctrl key is down. */
    public static final int LEFT_CTRL_PRESSED = 0x8;
    /** Control-key state bit: a Shift key is down. */
    public static final int SHIFT_PRESSED = 0x10;
    /** Control-key state bit: the key is one of the enhanced keys (arrows, Insert, Home and the like). */
    public static final int ENHANCED_KEY = 0x100;

    static {
        load();
    }

    private WinConsoleNative() {
    }

    /**
     * {@code GetStdHandle}: one of the process's standard handles.
     *
     * @param which {@link #STD_INPUT_HANDLE}, {@link #STD_OUTPUT_HANDLE} or {@link #STD_ERROR_HANDLE}
     * @return the handle, or -1 if the process has none (never 0)
     */
    public static native long getStdHandle(int which);

    /**
     * {@code ReadConsoleInputW} for one record, blocking while the input buffer is empty.
     *
     * @param handle a console input handle
     * @return for a key record {@code {1, down (1 or 0), repeat count, virtual-key code, UTF-16 unit,
     *     control-key state}}; for a mouse record {@code {2, column, row, button state, control-key
     *     state, event flags}}; for a window-resize record {@code {4, columns, rows}} of the screen
     *     buffer; {@code null} for any other record (which is consumed) and on any failure
     */
    public static native int[] readConsoleInputEvent(long handle);

    /**
     * {@code GetNumberOfConsoleInputEvents}: counts the records waiting, taking none.
     *
     * @param handle a console input handle
     * @return the number of records waiting (0 when none), or -1
     */
    public static native int getNumberOfConsoleInputEvents(long handle);

    /**
     * {@code WaitForSingleObject}: waits until the handle is signalled; for a console input handle,
     * until input is pending.
     *
     * @param handle any waitable handle
     * @param milliseconds how long to wait at most; 0 tests and returns at once, {@link #INFINITE} waits
     *     without limit
     * @return {@link #WAIT_OBJECT_0}, {@link #WAIT_ABANDONED}, {@link #WAIT_TIMEOUT} or {@link #WAIT_FAILED}
     */
    public static native int waitForSingleObject(long handle, int milliseconds);

    /**
     * {@code WriteConsoleW} of {@code chars[0..length)}, in one platform call.
     *
     * @param handle a console screen buffer handle
     * @param chars UTF-16 code units; only read
     * @param length how many code units to write, from index 0
     * @return true only if every code unit was written; false for a null array, a length outside the
     *     array, a handle that is not a console screen buffer, or a short write
     */
    public static native boolean writeConsole(long handle, char[] chars, int length);

    /**
     * {@code GetConsoleScreenBufferInfo}: the size of the visible window, not of the buffer behind it.
     *
     * @param handle a console screen buffer handle
     * @return {@code {columns, rows}}, or {@code null}
     */
    public static native int[] getConsoleSize(long handle);

    /**
     * {@code GetConsoleMode}: the handle's mode bits.
     *
     * @param handle a console input or screen buffer handle
     * @return the mode bits, or -1
     */
    public static native int getConsoleMode(long handle);

    /**
     * {@code SetConsoleMode}: sets the handle's mode bits, passed on unchanged.
     *
     * @param handle a console input or screen buffer handle
     * @param mode the mode bits
     * @return true if the platform accepted the mode
     */
    public static native boolean setConsoleMode(long handle, int mode);

    /**
     * {@code GetConsoleOutputCP}: the console's output code page.
     *
     * @return the code page (65001 for UTF-8), or -1 (never 0)
     */
    public static native int getConsoleOutputCP();

    /**
     * {@code AllocConsole}: attaches a new console to the process.
     *
     * @return true if a console was attached; false if the process already has one or the platform refused
     */
    public static native boolean allocConsole();

    /**
     * {@code FreeConsole}: detaches the process from its console.
     *
     * @return true if the platform reports the process detached
     */
    public static native boolean freeConsole();

    // Loading the library. The common start, a copy already in the cache, lives here in the class
    // whose natives need it, because a class of its own would cost every start about a
    // millisecond to load; every other case is LibraryInstaller's, loaded only when needed.
    //
    // The library is loaded, in turn, from: the file named by -Dtirk.console.library;
    // tirk-console on java.library.path with -Dtirk.console.useLibraryPath=true only; the library
    // inside the jar for this platform, extracted into a per-user cache folder named by the SHA-256
    // the jar records (%LOCALAPPDATA%\tirk-console, else a folder of this user's own in
    // java.io.tmpdir, or the folder named by -Dtirk.console.cache), where a copy already there is
    // used when it is the jar's library byte for byte; and, only when the jar holds no library for
    // this platform, java.library.path. A same-named library on java.library.path (on Windows every
    // folder on PATH and the working directory) is therefore never loaded in place of the jar's
    // copy, nor is a cache folder used that another account can change (see CacheFolder).
    // -Dtirk.console.debug=true prints each step and the file loaded to System.err.

    static final String LIBRARY_PROPERTY = "tirk.console.library";
    static final String CACHE_PROPERTY = "tirk.console.cache";
    static final String USE_LIBRARY_PATH_PROPERTY = "tirk.console.useLibraryPath";
    static final String DEBUG_PROPERTY = "tirk.console.debug";
    static final String NAME = "tirk-console";
    static final String RESOURCE_ROOT = "org/tirk/terminal/tty/impl/native/";

    private static void load() {
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
     * Loads the library from the cache if the copy there is the library beside this class byte for
     * byte, the cache folder is given by a property or {@code LOCALAPPDATA} and is plain ASCII, a
     * folder the property names is one no other account can change, and no property asks for
     * another library; false, having changed nothing, where any of that does not hold.
     *
     * <p>The library is read from the jar and the copy is compared with it whole: a copy made to
     * match a CRC-32 takes microseconds to make, and only the bytes themselves tell it from the
     * library. A damaged jar entry differs from the copy, which the installer checked against the
     * size and CRC-32 of the jar's directory (or, where there is no jar directory, the SHA-256
     * beside the library) when it extracted it; the installer then says the jar is damaged. The
     * default folder, {@code %LOCALAPPDATA%\tirk-console}, lies in the user's profile, which
     * Windows keeps private, so only a folder the property names is judged, with the folder of
     * copies in it and the copy.
     */
    private static boolean loadedFromCache() throws IOException {
        String named = System.getProperty(LIBRARY_PROPERTY);
        String platform = platform(System.getProperty("os.name", ""), System.getProperty("os.arch", ""));
        File root = namedCacheRoot();
        if ((named != null && !named.isEmpty()) || Boolean.getBoolean(USE_LIBRARY_PATH_PROPERTY) || platform == null
                || root == null || !ascii(root.getPath())) {
            return false;
        }
        String fileName = System.mapLibraryName(NAME);
        String resource = RESOURCE_ROOT + platform + "/" + fileName;
        File jar = jarOfThisClass();
        byte[] library;
        byte[] digest;
        if (jar != null) {
            try (ZipFile zip = new ZipFile(jar)) {
                library = entry(zip, resource);
                digest = library == null ? null : entry(zip, resource + ".sha256");
            }
        } else {
            // Classes in a folder, a runtime image, a bundle, a nested jar.
            library = resource(resource);
            digest = library == null ? null : resource(resource + ".sha256");
        }
        String folder = digest == null ? null : leadingDigest(digest);
        if (folder == null) {
            return false;
        }
        File file;
        if (configuredCache() == null) {
            file = new File(new File(root, folder), fileName);
        } else {
            // A folder once shared may hold a copy, or a folder of copies, that another account made.
            CacheFolder folders = CacheFolder.on(root);
            file = new File(new File(folders.checked(root), folder), fileName);
            if (folders.othersWhoMayChange(file.getParentFile()) != null || folders.othersWhoMayChange(file) != null) {
                return false;
            }
        }
        if (file.length() != library.length || !same(readFile(file), library)) {
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
            trace("loaded " + file + " (the jar's library, compared byte for byte)");
        }
        return true;
    }

    /** The resource's bytes, or null if the class path holds none of that name. */
    private static byte[] resource(String name) throws IOException {
        URL url = WinConsoleNative.class.getResource("/" + name);
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

    /**
     * The cache folder that -Dtirk.console.cache or LOCALAPPDATA (which Windows sets to a folder in
     * the user's profile) names; null where neither does, and the cache is a folder of this user's
     * own in the temporary folder.
     */
    static File namedCacheRoot() {
        String configured = configuredCache();
        if (configured != null) {
            return new File(configured).getAbsoluteFile();
        }
        // The JVM reads its environment on the first call, a millisecond of a start.
        String localAppData = System.getenv("LOCALAPPDATA");
        return localAppData != null && !localAppData.isEmpty() ? new File(localAppData, NAME).getAbsoluteFile() : null;
    }

    /** The folder -Dtirk.console.cache names, or null. */
    static String configuredCache() {
        String configured = System.getProperty(CACHE_PROPERTY);
        return configured == null || configured.isEmpty() ? null : configured;
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
        CodeSource source = WinConsoleNative.class.getProtectionDomain().getCodeSource();
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

    /**
     * The entry's bytes, if it is there with the size that the jar's directory records; else null.
     * Its CRC-32 is not checked here: the bytes are compared with the copy, which the installer
     * checked against it when it extracted it, so a damaged entry differs from the copy and the
     * installer says so.
     */
    private static byte[] entry(ZipFile zip, String name) throws IOException {
        ZipEntry entry = zip.getEntry(name);
        if (entry == null) {
            return null;
        }
        byte[] bytes;
        try (InputStream in = zip.getInputStream(entry)) {
            bytes = readAll(in, entry.getSize());
        }
        return bytes.length == entry.getSize() ? bytes : null;
    }

    /**
     * Whether `a` and `b` hold the same bytes. A plain loop: in the interpreter, where a start
     * runs it, it costs half what Arrays.equals does, whose comparison a word at a time goes
     * through a call for each word.
     */
    static boolean same(byte[] a, byte[] b) {
        if (a.length != b.length) {
            return false;
        }
        for (int i = 0; i < a.length; i++) {
            if (a[i] != b[i]) {
                return false;
            }
        }
        return true;
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
