package org.tirk.terminal.tty.impl;

import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.JarURLConnection;
import java.net.URL;
import java.net.URLConnection;
import java.nio.charset.Charset;
import java.nio.file.AtomicMoveNotSupportedException;
import java.nio.file.DirectoryStream;
import java.nio.file.FileAlreadyExistsException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.nio.file.StandardOpenOption;
import java.nio.file.attribute.AclEntry;
import java.nio.file.attribute.AclEntryFlag;
import java.nio.file.attribute.AclEntryPermission;
import java.nio.file.attribute.AclEntryType;
import java.nio.file.attribute.AclFileAttributeView;
import java.nio.file.attribute.UserPrincipal;
import java.security.MessageDigest;
import java.util.ArrayList;
import java.util.Collections;
import java.util.EnumSet;
import java.util.List;
import java.util.zip.CRC32;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;

import static java.nio.file.LinkOption.NOFOLLOW_LINKS;
import static org.tirk.terminal.tty.impl.WinConsoleNative.CACHE_PROPERTY;
import static org.tirk.terminal.tty.impl.WinConsoleNative.LIBRARY_PROPERTY;
import static org.tirk.terminal.tty.impl.WinConsoleNative.NAME;
import static org.tirk.terminal.tty.impl.WinConsoleNative.RESOURCE_ROOT;
import static org.tirk.terminal.tty.impl.WinConsoleNative.USE_LIBRARY_PATH_PROPERTY;
import static org.tirk.terminal.tty.impl.WinConsoleNative.ascii;
import static org.tirk.terminal.tty.impl.WinConsoleNative.configuredCache;
import static org.tirk.terminal.tty.impl.WinConsoleNative.namedCacheRoot;
import static org.tirk.terminal.tty.impl.WinConsoleNative.platform;
import static org.tirk.terminal.tty.impl.WinConsoleNative.readAll;
import static org.tirk.terminal.tty.impl.WinConsoleNative.readFile;
import static org.tirk.terminal.tty.impl.WinConsoleNative.same;
import static org.tirk.terminal.tty.impl.WinConsoleNative.trace;

/**
 * Every start but the common one (see {@link WinConsoleNative}): the file named by
 * {@value WinConsoleNative#LIBRARY_PROPERTY}; {@code java.library.path} when
 * {@value WinConsoleNative#USE_LIBRARY_PATH_PROPERTY}{@code =true} asks for it first or the jar holds
 * nothing for this platform; and the jar's library, extracted when the cache lacks it or holds
 * anything but its bytes, by writing a temporary file beside it, checking it and renaming it into
 * place, so that any number of JVMs may start at once. The cache folder is one no other account
 * can change ({@link CacheFolder}), but for the default one in the user's profile; a folder the
 * installer makes for it is made for this user alone ({@link #own}).
 *
 * <p>A JVM lets one class loader at a time load a given file, so when the library's classes are
 * loaded again by another class loader (IDE plugins, application servers, isolated test engines),
 * it loads a copy under another name in the same cache folder, up to {@value #COPIES} names that
 * later runs reuse. Where the JVM cannot hand the cache folder's path to the platform (a user name
 * outside the ANSI code page), the copies go into a folder of {@link #loadable} instead.
 * Every failure is an {@link UnsatisfiedLinkError} that says what was found and which property
 * helps.
 */
final class LibraryInstaller {

    static final String SUPPORTED_PLATFORMS = "windows-x86-64 and windows-aarch64";
    /** How many copies of one library a cache folder holds at most, one per class loader that has it loaded at once. */
    static final int COPIES = 8;
    /** How many names a folder of this user's may take where other accounts made folders of the first ones. */
    private static final int NAMES = 8;

    /** A temporary file older than this was left by a JVM that died while extracting. */
    private static final long STALE_MILLIS = 24L * 60 * 60 * 1000;

    private LibraryInstaller() {
    }

    static void load() {
        String named = System.getProperty(LIBRARY_PROPERTY);
        if (named != null && !named.isEmpty()) {
            loadNamed(new File(named).getAbsoluteFile());
            return;
        }
        trace("-D" + LIBRARY_PROPERTY + " is not set");
        boolean useLibraryPath = Boolean.getBoolean(USE_LIBRARY_PATH_PROPERTY);
        if (useLibraryPath) {
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
        byte[][] fromJar = resource == null ? null : readFromJar(resource, fileName);
        if (fromJar != null) {
            install(fromJar[0], digest(fromJar[1], resource, fileName), fileName, "extracted from the jar");
            return;
        }
        trace("the jar holds no library for " + (platform == null ? osName + " " + osArch : platform)
                + (resource == null ? "" : " (looked for /" + resource + ")"));
        if (!useLibraryPath && loadFromLibraryPath()) {
            return;
        }
        String lookedFor = (resource == null ? "" : " (looked for /" + resource + ")") + " and " + NAME
                + " is not on java.library.path either. To load a library of your own, set -D" + LIBRARY_PROPERTY
                + "=<path of " + fileName + ">.";
        if (platform != null && platform.startsWith("windows-")) {
            throw new UnsatisfiedLinkError("The tirk-console jar holds no library for " + platform + lookedFor
                    + " Or use the jar as released, which holds the libraries for " + SUPPORTED_PLATFORMS + ".");
        }
        throw new UnsatisfiedLinkError("tirk-console supports " + SUPPORTED_PLATFORMS + " only; this JVM runs on "
                + osName + " " + osArch + ", for which the jar holds no native library" + lookedFor);
    }

    /**
     * Loads the file named by the property; for a further class loader, or where the platform
     * cannot be given its path, a copy of it in the cache.
     */
    private static void loadNamed(File file) {
        String origin = "named by -D" + LIBRARY_PROPERTY;
        if (ascii(file.getPath()) || encodable(file.getPath(), System.getProperty("sun.jnu.encoding"))) {
            if (loadedHere(file, origin)) {
                return;
            }
        } else {
            trace(file + " cannot be given to the platform in " + System.getProperty("sun.jnu.encoding")
                    + ": loading a copy of it");
        }
        byte[] library;
        try {
            library = readFile(file);
        } catch (IOException e) {
            throw new UnsatisfiedLinkError("Cannot read the tirk-console library " + file + " (" + origin + ") to copy"
                    + " it: " + e + ". Set -D" + LIBRARY_PROPERTY + " to a file this JVM can read.");
        }
        install(library, sha256(library), file.getName(), "a copy of " + file + ", " + origin);
    }

    /**
     * Loads `file` into this class's loader; false if the JVM refuses because another class loader
     * of this JVM has it loaded.
     */
    private static boolean loadedHere(File file, String origin) {
        try {
            System.load(file.getPath());
        } catch (UnsatisfiedLinkError e) {
            if (!String.valueOf(e.getMessage()).contains("already loaded in another classloader")) {
                throw new UnsatisfiedLinkError("Cannot load the tirk-console library " + file + " (" + origin + "): "
                        + e.getMessage() + ". Point -D" + CACHE_PROPERTY + " at another folder to extract it there, or"
                        + " set -D" + LIBRARY_PROPERTY + "=<path of " + file.getName() + "> to load a library of your own.");
            }
            trace(file + " is loaded by another class loader of this JVM");
            return false;
        }
        trace("loaded " + file + " (" + origin + ")");
        return true;
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

    /**
     * Loads a copy of `library` from the cache's folder `name`. Where that fails, the folders this
     * start made are removed again, so that a failed start leaves nothing of its own behind.
     */
    private static void install(byte[] library, String name, String fileName, String origin) {
        List<Path> made = new ArrayList<>();
        try {
            loadCopy(library, copyFolder(name, made), fileName, origin, made);
        } catch (UnsatisfiedLinkError e) {
            for (int i = made.size() - 1; i >= 0; i--) {
                try {
                    Files.delete(made.get(i));
                } catch (IOException notEmpty) {
                    // holds a copy that was loaded, or another JVM's
                }
            }
            throw e;
        }
    }

    /**
     * Loads the first of the copies of `library` in `folder` that this JVM accepts, writing each
     * copy that is missing or wrong on the way.
     */
    private static void loadCopy(byte[] library, File folder, String fileName, String origin, List<Path> made) {
        // In a configured folder, which may once have been shared, a copy is also judged by who may change it.
        CacheFolder judge = configuredCache() != null ? CacheFolder.on(folder) : null;
        String notReplaced = null;
        for (int copy = 1; copy <= COPIES; copy++) {
            File file = new File(folder, copyName(fileName, copy));
            String others = judge != null && file.exists() ? othersWhoMayChange(judge, file) : null;
            if (others == null && holds(file, library)) {
                trace("reusing " + file + " (" + origin + "), compared byte for byte");
            } else {
                String why;
                try {
                    why = extract(library, file, others == null ? "differed from the library" : "another account could"
                            + " change (" + others + ")", made);
                } catch (IOException e) {
                    throw notWritten(folder.getParentFile(), e);
                }
                if (why != null) {
                    trace("cannot replace " + file + ": " + why);
                    notReplaced = why;
                    continue;
                }
            }
            if (loadedHere(file, origin)) {
                return;
            }
        }
        if (notReplaced != null) {
            throw new UnsatisfiedLinkError("Cannot extract the tirk-console library into " + folder.getParentFile()
                    + ": the copies " + fileName + " to " + copyName(fileName, COPIES) + " there are loaded by other"
                    + " class loaders of this JVM, or cannot be replaced (" + notReplaced + "). Point -D"
                    + CACHE_PROPERTY + " at another folder, or set -D" + LIBRARY_PROPERTY + "=<path of " + fileName
                    + "> to load it without extracting.");
        }
        throw new UnsatisfiedLinkError("Cannot load the tirk-console library: its " + COPIES + " copies in " + folder
                + " are all loaded by other class loaders of this JVM. Load tirk-console's classes from a class"
                + " loader that the others share.");
    }

    /** Who else may change `file`, or null; where that cannot be told, why. */
    private static String othersWhoMayChange(CacheFolder judge, File file) {
        try {
            return judge.othersWhoMayChange(file);
        } catch (IOException | RuntimeException e) {
            return CacheFolder.why(e);
        }
    }

    /**
     * Puts `library` in place as `target`, replacing a file there, which `replaced` says why:
     * written to a temporary file beside it, checked and renamed into place, so that any number
     * of JVMs may do so at once. Null once it is in place; else why the file there cannot be
     * replaced (Windows will not replace a library that a running process has loaded), which
     * another name can help. An IOException says why the folder takes no copy, which no other
     * name would help.
     */
    private static String extract(byte[] library, File target, String replaced, List<Path> made) throws IOException {
        Path folder = target.getParentFile().toPath();
        boolean replacing = target.exists();
        make(null, folder, made);
        removeStaleTemporaryFiles(folder.toFile());
        Path temporary = written(library, folder, target.getName());
        try {
            moveIntoPlace(temporary.toFile(), target);
        } catch (IOException e) {
            // Another JVM may have put the same bytes in place meanwhile.
            if (!holds(target, library)) {
                if (!replacing) {
                    throw e;
                }
                return CacheFolder.why(e);
            }
        } finally {
            temporary.toFile().delete();
        }
        trace((replacing ? "replaced " + target + ", which " + replaced + "," : "extracted " + target)
                + " with the verified copy");
        return null;
    }

    /** A new temporary file in `folder`, named after `name`, that reads back as `library`. */
    private static Path written(byte[] library, Path folder, String name) throws IOException {
        for (long attempt = System.nanoTime(); ; attempt++) {
            Path temporary = folder.resolve(name + "." + Long.toHexString(attempt) + ".tmp");
            OutputStream out;
            try {
                out = Files.newOutputStream(temporary, StandardOpenOption.CREATE_NEW);
            } catch (FileAlreadyExistsException e) {
                continue; // another JVM's, made in the same tick
            }
            try {
                try (OutputStream file = out) {
                    file.write(library);
                }
                if (!holds(temporary.toFile(), library)) {
                    throw new IOException("the copy written does not read back the same");
                }
                return temporary;
            } catch (IOException e) {
                temporary.toFile().delete();
                throw e;
            }
        }
    }

    /**
     * Removes what JVMs that died while extracting left behind in this folder, which holds only
     * copies of one library: temporary files a day old or older.
     */
    private static void removeStaleTemporaryFiles(File folder) {
        File[] files = folder.listFiles();
        long stale = System.currentTimeMillis() - STALE_MILLIS;
        for (File file : files == null ? new File[0] : files) {
            if (file.getName().endsWith(".tmp") && file.lastModified() < stale && file.delete()) {
                trace("removed " + file + ", left behind by an earlier extraction");
            }
        }
    }

    /**
     * Renames `temporary` to `target`, replacing it: by the plain rename where that does (on
     * Windows it does not replace a file), else by the file system's atomic move, else by any.
     */
    private static void moveIntoPlace(File temporary, File target) throws IOException {
        if (temporary.renameTo(target)) {
            return;
        }
        try {
            Files.move(temporary.toPath(), target.toPath(), StandardCopyOption.ATOMIC_MOVE);
        } catch (IOException e) {
            if (!(e instanceof AtomicMoveNotSupportedException)) {
                throw e;
            }
            Files.move(temporary.toPath(), target.toPath(), StandardCopyOption.REPLACE_EXISTING);
        }
    }

    /** "tirk-console.dll" for the first copy, "tirk-console-2.dll" for the second, and so on. */
    static String copyName(String fileName, int copy) {
        int dot = fileName.lastIndexOf('.') < 0 ? fileName.length() : fileName.lastIndexOf('.');
        return copy == 1 ? fileName : fileName.substring(0, dot) + "-" + copy + fileName.substring(dot);
    }

    /**
     * The folder `name` of the cache, which the copies go into: in a folder whose path the platform
     * can be given and, but for the default one in the user's profile, one that no other account
     * can change; in a configured folder, one of this user's own, or `name-2` and so on where
     * another account made it. Each folder it makes is noted in `made`.
     */
    private static File copyFolder(String name, List<Path> made) {
        File named = namedCacheRoot();
        File preferred = named != null ? named
                : new File(System.getProperty("java.io.tmpdir"), NAME + "-" + System.getProperty("user.name"));
        File root = ascii(preferred.getPath()) ? preferred : loadable(preferred, made);
        if (root != preferred || (named != null && configuredCache() == null)) {
            return new File(root, name); // the fallback folder, judged already, or the profile's
        }
        CacheFolder folders = CacheFolder.on(root);
        try {
            if (named == null) {
                // The temporary folder is shared: a folder of this user's own in it.
                return new File(own(folders, root.getParentFile(), root.getName(), made), name);
            }
            return own(folders, configured(folders, root, made), name, made);
        } catch (NotWritten e) {
            throw notWritten(root, e);
        } catch (IOException | RuntimeException e) {
            boolean refused = CacheFolder.refusal(e) != null;
            String why = CacheFolder.why(e);
            trace("cache folder: " + root + (refused ? " (another account can change it: " : " (cannot be judged: ") + why
                    + ")");
            throw new UnsatisfiedLinkError("Cannot use " + (named == null ? "a folder of this user's own in "
                    + root.getParent() : "the folder " + root) + " as the tirk-console cache: " + why
                    + (refused ? ". The library is loaded only from a folder no other account can change" : "")
                    + ". Point -D" + CACHE_PROPERTY + " at a folder of your own, or set -D" + LIBRARY_PROPERTY
                    + "=<path of " + System.mapLibraryName(NAME) + "> to load a library of your own.");
        }
    }

    /**
     * The configured cache folder `root`'s real path, if no other account can change it. Where it
     * is missing, the folders it would lie in are judged first, and only then is it made, with any
     * folder above it that is missing, for this user alone.
     */
    private static File configured(CacheFolder folders, File root, List<Path> made) throws IOException {
        Path existing = root.toPath();
        while (!Files.exists(existing, NOFOLLOW_LINKS)) {
            existing = existing.getParent();
        }
        if (!existing.equals(root.toPath())) {
            String why = folders.othersWhoMayRemove(existing.toFile());
            if (why != null) {
                throw new IOException(why);
            }
            make(folders, root.toPath(), made);
        }
        return folders.checked(root);
    }

    /** The error for a cache folder that takes no copy, for the reason `e` gives. */
    private static UnsatisfiedLinkError notWritten(File folder, IOException e) {
        String why = why(e);
        trace("cache folder: " + folder + " (cannot be written: " + why + ")");
        return new UnsatisfiedLinkError("Cannot extract the tirk-console library into " + folder + ": " + why
                + ". Point -D" + CACHE_PROPERTY + " at a writable folder, or set -D" + LIBRARY_PROPERTY + "=<path of "
                + System.mapLibraryName(NAME) + "> to load it without extracting.");
    }

    /**
     * This user's own folder `name` in `parent`, made for this user alone if missing; where another
     * account can change it, `name-2` and so on, as `folders` judges them. An IOException says why
     * none can be used.
     */
    static File own(CacheFolder folders, File parent, String name, List<Path> made) throws IOException {
        File above = parent.toPath().toRealPath().toFile();
        String why = folders.othersWhoMayRemove(above);
        if (why != null) {
            throw new IOException(why);
        }
        for (int n = 1; n <= NAMES; n++) {
            File folder = new File(above, n == 1 ? name : name + "-" + n);
            Path path = folder.toPath();
            make(folders, path, made);
            why = Files.isDirectory(path, NOFOLLOW_LINKS) ? folders.othersWhoMayChange(folder) : "it is no folder";
            if (why == null) {
                return folder;
            }
            trace("passing over " + folder + ": " + why);
        }
        throw new IOException("other accounts can change each of the folders " + name + " to " + name + "-" + NAMES
                + " in " + above);
    }

    /**
     * Makes `folder` and each folder above it that is missing: for this user alone where `folders`
     * is given, else as the platform makes them; each is noted in `made`. A folder another JVM
     * makes meanwhile is used as it is. NotWritten says why one cannot be made.
     */
    static void make(CacheFolder folders, Path folder, List<Path> made) throws IOException {
        if (folder == null || Files.exists(folder, NOFOLLOW_LINKS)) {
            return;
        }
        make(folders, folder.getParent(), made);
        try {
            if (folders == null) {
                Files.createDirectory(folder);
            } else {
                makePrivate(folders, folder);
            }
            made.add(folder);
        } catch (IOException e) {
            if (CacheFolder.refusal(e) != null) {
                throw e;
            }
            if (!Files.isDirectory(folder, NOFOLLOW_LINKS)) {
                throw new NotWritten(e);
            }
        }
    }

    /**
     * The account this process runs as: its name ({@code DOMAIN\name}), its SID or null, and where
     * the name is empty, why it cannot be told. The JDK's NTSystem reads both from the process's
     * token, asking no one, where the runtime has the module jdk.security.auth (it is reached by
     * reflection, as a runtime image may leave it out); elsewhere the name the JVM gives the user,
     * in its domain, is looked up.
     */
    static String[] account(CacheFolder folders) {
        try {
            Class<?> system = Class.forName("com.sun.security.auth.module.NTSystem");
            Object token = system.getConstructor().newInstance();
            return new String[] {system.getMethod("getDomain").invoke(token) + "\\" + system.getMethod("getName")
                    .invoke(token), (String) system.getMethod("getUserSID").invoke(token)};
        } catch (ReflectiveOperationException | RuntimeException | LinkageError e) {
            String domain = System.getenv("USERDOMAIN"), name = System.getProperty("user.name", "");
            name = domain == null ? name : domain + "\\" + name;
            try {
                return new String[] {folders.lookup(name).getName(), null};
            } catch (IOException | RuntimeException notFound) {
                return new String[] {"", null, "the account " + name + " cannot be looked up (" + CacheFolder.why(notFound)
                        + ")"};
            }
        }
    }

    /**
     * Whom a folder made for this user alone lets in, given the `owner` the platform gave it: the
     * account this process runs as, so that its runs elevated and not share the folder; the owner
     * where that is the account, or where the account cannot be told or found.
     */
    static UserPrincipal grantee(CacheFolder folders, UserPrincipal owner) {
        String[] account = folders.account();
        if (account[0].isEmpty() || owner.getName().equalsIgnoreCase(account[0])) {
            return owner;
        }
        try {
            return folders.lookup(account[0]);
        } catch (IOException | RuntimeException e) {
            return owner;
        }
    }

    /**
     * Makes `folder` for this user alone: under a temporary name, restricted to the account this
     * process runs as (whatever owner the platform gives it), found still empty, then renamed into
     * place, so that it never exists under its name with the rights it would inherit.
     */
    private static void makePrivate(CacheFolder folders, Path folder) throws IOException {
        Path temporary = CacheFolder.temporaryFolder(folder);
        try {
            AclFileAttributeView view = folders.view(temporary);
            if (view != null) {
                view.setAcl(Collections.singletonList(AclEntry.newBuilder().setType(AclEntryType.ALLOW)
                        .setPrincipal(grantee(folders, view.getOwner()))
                        .setPermissions(EnumSet.allOf(AclEntryPermission.class))
                        .setFlags(AclEntryFlag.FILE_INHERIT, AclEntryFlag.DIRECTORY_INHERIT).build()));
            } else {
                Files.setAttribute(temporary, "unix:mode", 0700, NOFOLLOW_LINKS);
            }
            // What another account put inside before the restriction would stay its own.
            try (DirectoryStream<Path> inside = Files.newDirectoryStream(temporary)) {
                for (Path entry : inside) {
                    throw new IOException(folders.owner(entry).getName() + " wrote into " + folder.getParent()
                            + " while a folder of this user's was made there");
                }
            }
            Files.move(temporary, folder);
            trace("made " + folder + " for this user alone");
        } finally {
            Files.deleteIfExists(temporary);
        }
    }

    /** What went wrong, as an error message says it: a folder not written by the platform's reason. */
    private static String why(Exception e) {
        return CacheFolder.why(e instanceof NotWritten ? (Exception) e.getCause() : e);
    }

    /** A folder or file the cache needs could not be written, for the reason its cause gives. */
    private static final class NotWritten extends IOException {
        NotWritten(IOException cause) {
            super(cause);
        }
    }

    /** `folder`, if the platform can be given its path; otherwise this user's fallback folder. */
    static File loadable(File folder, List<Path> made) {
        return loadable(folder, System.getProperty("sun.jnu.encoding"), System.getenv("ProgramData"),
                System.getProperty("user.name", ""), null, made);
    }

    /**
     * As above, with the encoding, the folder for all users' data and the user's name given, and
     * the folders judged by `folders` (null: by their own access lists); a folder made is noted in
     * `made`.
     *
     * <p>HotSpot passes a library's path to Windows in the ANSI code page ({@code sun.jnu.encoding}),
     * after expanding every part of it to its long name, so under a profile such as
     * {@code C:\Users\Łukasz} on a system whose code page has no Ł, no library can be loaded: the Ł
     * arrives as '?'. An 8.3 short name does not help, since the JVM expands it back first. The
     * copies then go into {@code %ProgramData%\tirk-console-USER}, whose path is plain ASCII.
     */
    static File loadable(File folder, String encoding, String programData, String user, CacheFolder folders,
            List<Path> made) {
        if (encodable(folder.getPath(), encoding)) {
            return folder;
        }
        trace(folder + " cannot be given to the platform in the code page " + encoding
                + " (sun.jnu.encoding)");
        File around = programData == null ? null : new File(programData);
        String name = folderName(user);
        String reason;
        if (around == null || !around.isAbsolute() || !around.isDirectory()) {
            reason = "there is no folder for all users' program data (%ProgramData%) to fall back on";
        } else if (!encodable(new File(around, name).getPath(), encoding)) {
            reason = "it cannot encode the fallback folder " + new File(around, name) + " either";
        } else {
            try {
                File fallback = own(folders != null ? folders : CacheFolder.on(around), around, name, made);
                trace("using " + fallback + " instead, which no other account can change");
                return fallback;
            } catch (IOException | RuntimeException e) {
                reason = "no folder of this user's own in " + around + " can be used: " + why(e);
            }
        }
        throw new UnsatisfiedLinkError("Cannot load the tirk-console library from " + folder + ": the JVM gives the"
                + " platform a library's path in the code page " + encoding + " (sun.jnu.encoding), which cannot"
                + " encode that folder, and " + reason + ". Point -D" + CACHE_PROPERTY
                + " at a folder whose path " + encoding + " can encode, or set -D" + LIBRARY_PROPERTY
                + "=<path of " + System.mapLibraryName(NAME) + "> in such a folder.");
    }

    /** Whether the JVM can pass `path` to the platform unchanged: true if the encoding is unknown. */
    static boolean encodable(String path, String encoding) {
        try {
            return encoding == null || Charset.forName(encoding).newEncoder().canEncode(path);
        } catch (RuntimeException e) {
            return true; // a code page Java does not know, or one it cannot encode to
        }
    }

    /** "tirk-console-" and the user's name in letters any code page holds: others as _ and four hex digits. */
    static String folderName(String user) {
        StringBuilder name = new StringBuilder(NAME + "-");
        for (char c : user.toCharArray()) {
            if (c < 0x80 && (Character.isLetterOrDigit(c) || c == '-' || c == '.')) {
                name.append(c);
            } else {
                name.append('_').append(Integer.toHexString(0x10000 | c).substring(1));
            }
        }
        return name.toString();
    }

    /** Whether `file` holds exactly `bytes`. */
    private static boolean holds(File file, byte[] bytes) {
        try {
            return file.length() == bytes.length && same(readFile(file), bytes);
        } catch (IOException e) {
            return false;
        }
    }

    private static UnsatisfiedLinkError damaged(String what, String fileName) {
        return new UnsatisfiedLinkError("The tirk-console jar is damaged: " + what + ". Replace the jar, or set -D"
                + LIBRARY_PROPERTY + "=<path of " + fileName + "> to load a library of your own.");
    }

    /**
     * The library at `resource` and the text of its SHA-256 from beside this class, or null if
     * the library is not there. Entries of a jar are checked against the CRC-32 of the jar's
     * directory, which the class loaders' own zip reading leaves unchecked. Where there is no
     * such directory (classes in a folder, a runtime image), the library is checked against its
     * SHA-256 instead, which costs a security provider's start-up.
     */
    private static byte[][] readFromJar(String resource, String fileName) {
        String digestResource = resource + ".sha256";
        try {
            File jar = jarOfThisClass();
            if (jar != null) {
                try (ZipFile zip = new ZipFile(jar)) {
                    ZipEntry entry = zip.getEntry(resource);
                    if (entry != null) {
                        trace("the jar holds " + resource);
                        ZipEntry digestEntry = zip.getEntry(digestResource);
                        return new byte[][] {checked(zip.getInputStream(entry), entry, resource, fileName),
                            digestEntry == null ? null
                                : checked(zip.getInputStream(digestEntry), digestEntry, digestResource, fileName)};
                    }
                }
            }
            // The class path may hold the library in another jar, or this class may come from
            // somewhere other than a jar file.
            URL url = LibraryInstaller.class.getResource("/" + resource);
            if (url == null) {
                return null;
            }
            trace("the class path holds " + url);
            URLConnection connection = url.openConnection();
            byte[] library = checked(connection, resource, fileName);
            URL digestUrl = LibraryInstaller.class.getResource("/" + digestResource);
            byte[] digestText = digestUrl == null ? null : checked(digestUrl.openConnection(), digestResource, fileName);
            if (!(connection instanceof JarURLConnection)) {
                String recorded = digest(digestText, resource, fileName);
                String actual = sha256(library);
                if (!actual.equals(recorded)) {
                    throw damaged(resource + " has SHA-256 " + actual + " but the jar records " + recorded, fileName);
                }
            }
            return new byte[][] {library, digestText};
        } catch (IOException e) {
            throw damaged("reading " + resource + " failed: " + e, fileName);
        }
    }

    /** The jar file the classes were loaded from, or null if they did not come from a jar file or it cannot be told. */
    private static File jarOfThisClass() {
        try {
            return WinConsoleNative.jarOfThisClass();
        } catch (RuntimeException e) { // a security manager, or a location that is no file
            return null;
        }
    }

    /** The entry's bytes, if they have the size and CRC-32 that the jar's directory records for it. */
    private static byte[] checked(InputStream in, ZipEntry entry, String name, String fileName) throws IOException {
        byte[] bytes;
        try (InputStream stream = in) {
            bytes = readAll(stream, entry.getSize());
        }
        long crc = crc32(bytes);
        if (bytes.length != entry.getSize() || crc != entry.getCrc()) {
            throw damaged(name + " reads as " + bytes.length + " bytes with CRC-32 " + Long.toHexString(crc)
                    + " but the jar records " + entry.getSize() + " bytes with CRC-32 " + Long.toHexString(entry.getCrc()),
                    fileName);
        }
        return bytes;
    }

    static long crc32(byte[] bytes) {
        CRC32 crc = new CRC32();
        crc.update(bytes, 0, bytes.length);
        return crc.getValue();
    }

    /** The resource's bytes, checked as above where it lies in a jar. */
    private static byte[] checked(URLConnection connection, String name, String fileName) throws IOException {
        // A cached connection would keep the jar open (and, on Windows, locked) for good.
        connection.setUseCaches(false);
        InputStream in = connection.getInputStream();
        if (connection instanceof JarURLConnection) {
            return checked(in, ((JarURLConnection) connection).getJarEntry(), name, fileName);
        }
        try (InputStream stream = in) {
            return readAll(stream, -1);
        }
    }

    /** The 64 hexadecimal digits at the start of a .sha256 file, which name the cache folder. */
    private static String digest(byte[] text, String resource, String fileName) {
        int length = 0;
        while (text != null && length < text.length && Character.digit(text[length], 16) >= 0) {
            length++;
        }
        if (length != 64) {
            throw damaged(resource + (text == null ? " has no SHA-256 beside it" : ".sha256 holds no SHA-256"), fileName);
        }
        StringBuilder digits = new StringBuilder(length);
        for (int i = 0; i < length; i++) {
            digits.append(Character.toLowerCase((char) text[i]));
        }
        return digits.toString();
    }

    static String sha256(byte[] bytes) {
        try {
            StringBuilder hex = new StringBuilder(64);
            for (byte b : MessageDigest.getInstance("SHA-256").digest(bytes)) {
                hex.append(Character.forDigit((b >> 4) & 0xF, 16)).append(Character.forDigit(b & 0xF, 16));
            }
            return hex.toString();
        } catch (Exception e) {
            // Only NoSuchAlgorithmException, which every Java platform rules out; named by its
            // superclass so that extracting does not load it.
            throw new IllegalStateException("every Java platform provides SHA-256", e);
        }
    }
}
