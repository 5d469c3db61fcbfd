package org.tirk.terminal.tty.impl;

import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.FileDescriptor;
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.PrintStream;
import java.io.UnsupportedEncodingException;
import java.net.URL;
import java.net.URLConnection;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.channels.FileChannel;
import java.nio.charset.StandardCharsets;
import java.security.CodeSource;
import java.security.cert.Certificate;
import java.security.cert.CertificateFactory;
import java.security.cert.X509Certificate;
import java.util.ArrayList;
import java.util.Collection;
import java.util.List;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

/**
 * The jar's command line, {@code java -jar tirk-console.jar [OPTION]}: with no option or
 * {@code --demo} the demo ({@link WinConsoleDemo}); {@code --version} what the jar carries, without
 * loading the library; {@code --check} loads the library as an application would and reports
 * which file was loaded and why, the cache folder's verdict and the process's console, for a
 * user to paste into a support request; {@code --help} the usage. Where the library cannot be
 * loaded, the command prints the reason on one line and exits with status 2.
 */
public final class WinConsoleTool {

    static final String USAGE = String.join(System.lineSeparator(),
            "Usage: java -jar tirk-console.jar [OPTION]",
            "  (none), --demo  print the console's key, mouse and resize events until 'q' is pressed",
            "  --check         load the library as an application would and report what was loaded, from",
            "                  where and why, and whether this process has a console; exit status 0 when",
            "                  standard input and output are consoles, 1 when one is not, 2 when the",
            "                  library cannot be loaded",
            "  --version       the version, and the libraries the jar carries, without loading them",
            "  --help          this text",
            "Properties: -Dtirk.console.library=FILE loads that file; -Dtirk.console.cache=DIR extracts",
            "into DIR; -Dtirk.console.useLibraryPath=true looks on java.library.path first;",
            "-Dtirk.console.debug=true traces each step of loading to standard error.");

    /** The platforms a released jar carries a library for. */
    private static final String[] PLATFORMS = {"windows-x86-64", "windows-aarch64"};
    private static final String DLL = "tirk-console.dll";

    private WinConsoleTool() {
    }

    /**
     * Runs the command.
     *
     * @param args one option at most: {@code --demo}, {@code --check}, {@code --version} or {@code --help}
     */
    public static void main(String[] args) {
        String option = args.length == 0 ? "--demo" : args[0];
        if (args.length > 1 || !option.matches("--(demo|check|version|help)")) {
            System.err.println("tirk-console: unknown option " + String.join(" ", args));
            System.err.println(USAGE);
            System.exit(2);
        }
        if (option.equals("--help")) {
            System.out.println(USAGE);
        } else if (option.equals("--version")) {
            print(version(), false);
        } else if (option.equals("--check")) {
            System.exit(check());
        } else {
            String error = loadError();
            System.exit(error != null ? failed(error) : WinConsoleDemo.run(System.out));
        }
    }

    /** Loads the library into this class's loader, as the first call of an application would; its error, or null. */
    private static String loadError() {
        try {
            Class.forName(WinConsoleNative.class.getName(), true, WinConsoleTool.class.getClassLoader());
            return null;
        } catch (ClassNotFoundException | LinkageError e) {
            Throwable cause = e instanceof ExceptionInInitializerError && e.getCause() != null ? e.getCause() : e;
            return cause.getMessage() != null ? cause.getMessage() : cause.toString();
        }
    }

    /** Prints `error` on one line to standard error and gives the status for a library that cannot be loaded. */
    private static int failed(String error) {
        System.err.println("tirk-console: " + error.replaceAll("\\s*\\R\\s*", " "));
        return 2;
    }

    /** The version, where the jar lies, each library it carries, and the JVM. */
    static List<String> version() {
        List<String> lines = about();
        for (String platform : PLATFORMS) {
            String resource = WinConsoleNative.RESOURCE_ROOT + platform + "/" + DLL;
            try {
                byte[] library = resource(resource);
                if (library == null) {
                    lines.add(platform + ": not in the jar");
                    continue;
                }
                byte[] recorded = resource(resource + ".sha256");
                String digest = recorded == null ? null : new String(recorded, StandardCharsets.US_ASCII).split("\\s", 2)[0];
                String actual = LibraryInstaller.sha256(library);
                lines.add(platform + ": " + DLL + ", " + library.length + " bytes");
                lines.add(platform + " sha-256: " + (digest == null ? "not recorded" : digest)
                        + (actual.equals(digest) ? "" : " (but the library's bytes have " + actual + ": the jar is damaged)"));
                lines.add(platform + " authenticode: " + signer(library));
            } catch (IOException e) {
                lines.add(platform + ": cannot be read: " + e);
            }
        }
        return lines;
    }

    /** The lines --version and --check begin with. */
    private static List<String> about() {
        List<String> lines = new ArrayList<>();
        String version = WinConsoleTool.class.getPackage() == null ? null
                : WinConsoleTool.class.getPackage().getImplementationVersion();
        lines.add("version: " + (version == null ? "unknown (no version in the jar's manifest)" : version));
        CodeSource source = WinConsoleTool.class.getProtectionDomain().getCodeSource();
        URL location = source == null ? null : source.getLocation();
        String jar = location == null ? "unknown" : location.toString();
        try {
            jar = location != null && "file".equals(location.getProtocol()) ? new File(location.toURI()).getPath() : jar;
        } catch (Exception e) {
            // the URL as it is
        }
        lines.add("jar: " + jar);
        lines.add("java: " + System.getProperty("java.version") + " (" + System.getProperty("java.vendor") + "), "
                + System.getProperty("java.home"));
        lines.add("os: " + System.getProperty("os.name") + " " + System.getProperty("os.version") + ", "
                + System.getProperty("os.arch"));
        return lines;
    }

    /** The resource's bytes, or null if there is none; read without WinConsoleNative, which would load the library. */
    private static byte[] resource(String name) throws IOException {
        URL url = WinConsoleTool.class.getResource("/" + name);
        if (url == null) {
            return null;
        }
        URLConnection connection = url.openConnection();
        connection.setUseCaches(false);
        ByteArrayOutputStream bytes = new ByteArrayOutputStream();
        try (InputStream in = connection.getInputStream()) {
            byte[] buffer = new byte[8192];
            for (int n; (n = in.read(buffer)) > 0; ) {
                bytes.write(buffer, 0, n);
            }
        }
        return bytes.toByteArray();
    }

    /**
     * Whose Authenticode signature the PE file carries: the subject of the signing certificate in
     * the security directory's PKCS#7 data, read but not verified.
     */
    static String signer(byte[] pe) {
        try {
            ByteBuffer b = ByteBuffer.wrap(pe).order(ByteOrder.LITTLE_ENDIAN);
            int header = b.getInt(0x3C);
            if (b.getShort(0) != 0x5A4D || b.getInt(header) != 0x4550) {
                return "none (not a PE file)";
            }
            int optional = header + 24;
            boolean pe32plus = b.getShort(optional) == 0x20B;
            int directories = b.getInt(optional + (pe32plus ? 108 : 92));
            int security = optional + (pe32plus ? 112 : 96) + 4 * 8;
            int offset = directories > 4 ? b.getInt(security) : 0;
            int size = directories > 4 ? b.getInt(security + 4) : 0;
            if (size == 0) {
                return "none (unsigned)";
            }
            int length = b.getInt(offset);
            if (b.getShort(offset + 6) != 2 || length < 8 || length > size) {
                return "a certificate this check cannot read (not PKCS#7 signed data)";
            }
            Collection<? extends Certificate> certificates = CertificateFactory.getInstance("X.509")
                    .generateCertificates(new ByteArrayInputStream(pe, offset + 8, length - 8));
            for (Certificate certificate : certificates) {
                X509Certificate leaf = (X509Certificate) certificate;
                boolean issuesAnother = false;
                for (Certificate other : certificates) {
                    issuesAnother |= other != leaf && ((X509Certificate) other).getIssuerX500Principal()
                            .equals(leaf.getSubjectX500Principal());
                }
                if (!issuesAnother) {
                    return "signed by " + leaf.getSubjectX500Principal().getName()
                            + " (the signature is not verified here)";
                }
            }
            return "a signature without certificates";
        } catch (Exception e) {
            return "a signature this check cannot read: " + e;
        }
    }

    /** --check: the report on standard output, the status. */
    static int check() {
        List<String> lines = about();
        lines.addAll(thisUser());
        String wasDebug = System.getProperty(WinConsoleNative.DEBUG_PROPERTY);
        PrintStream err = System.err;
        ByteArrayOutputStream trace = new ByteArrayOutputStream();
        String error;
        try {
            // The loader's own trace, which it writes to System.err where the property asks for it.
            System.setProperty(WinConsoleNative.DEBUG_PROPERTY, "true");
            System.setErr(new PrintStream(trace, true, "UTF-8"));
            error = loadError();
        } catch (UnsupportedEncodingException e) {
            throw new AssertionError("every Java platform has UTF-8", e);
        } finally {
            System.setErr(err);
            if (wasDebug == null) {
                System.clearProperty(WinConsoleNative.DEBUG_PROPERTY);
            } else {
                System.setProperty(WinConsoleNative.DEBUG_PROPERTY, wasDebug);
            }
        }
        String loaded = null;
        for (String line : new String(trace.toByteArray(), StandardCharsets.UTF_8).split("\\R")) {
            if (!line.startsWith("tirk-console: ")) {
                err.println(line); // not the loader's: the JVM's, say
                continue;
            }
            String step = line.substring("tirk-console: ".length());
            // The loader names a cache folder it tried only when it cannot use it, with the reason.
            lines.add(step.startsWith("cache folder: ") ? step : "step: " + step);
            Matcher file = LOADED.matcher(step);
            loaded = file.matches() ? file.group(1) : loaded;
        }
        if (error != null) {
            lines.add("library: not loaded");
            lines.add("verdict: the library cannot be loaded; the reason follows on standard error");
            print(lines, false);
            return failed(error);
        }
        lines.add("library: " + loaded);
        // Which of the jar's libraries this JVM takes: an x86-64 JVM on ARM64 Windows takes the x86-64 one.
        lines.add("platform: " + WinConsoleNative.platform(System.getProperty("os.name", ""),
                System.getProperty("os.arch", "")));
        lines.addAll(cacheFolder(loaded));
        String feature = System.getProperty("java.specification.version", "");
        if (!feature.startsWith("1.") && feature.matches("\\d+") && Integer.parseInt(feature) >= 24) {
            lines.add("native access: " + (nativeAccessGranted() ? "granted"
                    : "not granted: Java warned above, and a later Java will refuse (see README, Granting native access)"));
        }
        String[] names = {"standard input", "standard output", "standard error"};
        int[] selectors = {WinConsoleNative.STD_INPUT_HANDLE, WinConsoleNative.STD_OUTPUT_HANDLE,
            WinConsoleNative.STD_ERROR_HANDLE};
        FileDescriptor[] descriptors = {FileDescriptor.in, FileDescriptor.out, FileDescriptor.err};
        String notConsole = null;
        boolean outputIsConsole = false;
        int[] size = null;
        for (int i = 0; i < 3; i++) {
            long handle = WinConsoleNative.getStdHandle(selectors[i]);
            int mode = handle == -1 ? -1 : WinConsoleNative.getConsoleMode(handle);
            String what = handle == -1 ? "none" : mode == -1 ? likelyKind(descriptors[i]) : null;
            lines.add(names[i] + ": " + (what == null ? String.format("console, mode 0x%x", mode) : "not a console (" + what + ")"));
            if (what != null && i < 2 && notConsole == null) {
                notConsole = names[i] + " is " + what;
            }
            outputIsConsole |= i == 1 && what == null;
            size = size == null && what == null && i > 0 ? WinConsoleNative.getConsoleSize(handle) : size;
        }
        int codePage = WinConsoleNative.getConsoleOutputCP();
        lines.add("output code page: " + (codePage == -1 ? "none (the process has no console)" : codePage));
        lines.add("window: " + (size == null ? "unknown" : size[0] + " columns, " + size[1] + " rows"));
        lines.add("verdict: " + (notConsole == null ? "the library is loaded, and standard input and output are consoles"
                : "the library is loaded, but " + notConsole + ", not a console: a program that reads keys must run in"
                + " a console window (cmd, PowerShell, Windows Terminal), not with its input or output redirected,"
                + " in mintty or in an IDE's run window"));
        print(lines, outputIsConsole);
        return notConsole == null ? 0 : 1;
    }

    /**
     * This user: "user: NAME (SID)", the account this process runs as, and, where its new files
     * belong to another (an elevated administrator's may belong to the Administrators group), "new
     * files owned by: OWNER". Where there are owners and mode bits, the user's name alone.
     */
    private static List<String> thisUser() {
        List<String> lines = new ArrayList<>();
        CacheFolder folders = CacheFolder.on(new File(System.getProperty("java.io.tmpdir")));
        if (!folders.keepsAccessLists()) {
            lines.add("user: " + System.getProperty("user.name"));
            return lines;
        }
        String[] account = folders.account();
        lines.add("user: " + (account[0].isEmpty() ? System.getProperty("user.name") + " (" + account[2] + ")"
                : account[0] + (account[1] == null ? "" : " (" + account[1] + ")")));
        try {
            String owner = folders.me().getName();
            if (!owner.equalsIgnoreCase(account[0])) {
                lines.add("new files owned by: " + owner);
            }
        } catch (IOException e) {
            lines.add("new files owned by: cannot be told: " + CacheFolder.why(e));
        }
        return lines;
    }

    /** A loaded file as the loader's trace names it, before the reason in brackets. */
    private static final Pattern LOADED = Pattern.compile(
            "loaded (.+?) \\((?:extracted|the jar's|named by|a copy of|found on) .*\\)");

    /** The cache folder `loaded` lies in, if it is a cached copy, and whether it passes the folder rule. */
    private static List<String> cacheFolder(String loaded) {
        List<String> lines = new ArrayList<>();
        File folder = loaded == null ? null : new File(loaded).getParentFile();
        if (folder == null || !folder.getName().matches("[0-9a-f]{64}")) {
            lines.add("cache folder: none (the library was not loaded from the cache)");
            return lines;
        }
        File root = folder.getParentFile();
        lines.add("cache folder: " + root);
        try {
            CacheFolder.on(root).checked(root);
            lines.add("cache folder rule: passes (no other account can change it or the folders above it)");
        } catch (IOException | RuntimeException e) {
            lines.add("cache folder rule: fails: " + CacheFolder.why(e));
        }
        return lines;
    }

    /** Module.isNativeAccessEnabled of this class's module (Java 22 and later), through reflection, as the classes are Java 8's. */
    private static boolean nativeAccessGranted() {
        try {
            Object module = Class.class.getMethod("getModule").invoke(WinConsoleNative.class);
            return (Boolean) module.getClass().getMethod("isNativeAccessEnabled").invoke(module);
        } catch (ReflectiveOperationException e) {
            return false;
        }
    }

    /**
     * What a standard handle that is no console likely is: a file has a size and a position,
     * where a pipe (an IDE's run window, mintty, a program reading the output) has none.
     */
    private static String likelyKind(FileDescriptor descriptor) {
        // Not closed: that would close the process's own standard handle.
        @SuppressWarnings("resource")
        FileChannel channel = descriptor == FileDescriptor.in ? new FileInputStream(descriptor).getChannel()
                : new FileOutputStream(descriptor).getChannel();
        try {
            channel.position();
            channel.size();
            return "a file";
        } catch (IOException e) {
            return "a pipe";
        }
    }

    /**
     * Prints `lines`: on Windows through the console itself where standard output is one, in
     * UTF-16, so that every letter of a path survives whatever the code page.
     */
    private static void print(List<String> lines, boolean toConsole) {
        StringBuilder text = new StringBuilder();
        for (String line : lines) {
            text.append(line).append(System.lineSeparator());
        }
        if (toConsole && File.separatorChar == '\\') {
            System.out.flush();
            char[] chars = text.toString().toCharArray();
            if (WinConsoleNative.writeConsole(WinConsoleNative.getStdHandle(WinConsoleNative.STD_OUTPUT_HANDLE), chars,
                    chars.length)) {
                return;
            }
        }
        System.out.print(text);
        System.out.flush();
    }
}
