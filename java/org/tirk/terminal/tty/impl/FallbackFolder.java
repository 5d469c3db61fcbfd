package org.tirk.terminal.tty.impl;

import java.io.File;
import java.io.IOException;
import java.nio.charset.Charset;
import java.nio.charset.IllegalCharsetNameException;
import java.nio.charset.UnsupportedCharsetException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.AclEntry;
import java.nio.file.attribute.AclEntryFlag;
import java.nio.file.attribute.AclEntryPermission;
import java.nio.file.attribute.AclEntryType;
import java.nio.file.attribute.AclFileAttributeView;
import java.nio.file.attribute.UserPrincipal;
import java.util.Collections;
import java.util.EnumSet;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Set;
import java.util.function.Function;

/**
 * Where the cache's copies go when the JVM cannot hand the cache folder's path to the platform.
 *
 * <p>HotSpot passes a library's path to Windows in the ANSI code page ({@code sun.jnu.encoding}),
 * after expanding every part of it to its long name, so under a profile such as
 * {@code C:\Users\Łukasz} on a system whose code page has no Ł, no library can be loaded: the Ł
 * arrives as '?'. An 8.3 short name does not help, since the JVM expands it back first. The copies
 * then go into a folder of this user's own in the folder for all users' program data,
 * {@code %ProgramData%\tirk-console-USER}, whose path is plain ASCII. It is used only when no
 * other user can change what it holds: it belongs to this user, its access list lets nobody else
 * write to it, and nobody else may remove it from the folder around it, other than the accounts
 * that may write to the Windows folder itself and so control every process already. A new one is
 * made under a temporary name with an access list for this user alone, then renamed into place,
 * so it never exists with the access list it would inherit.
 */
final class FallbackFolder {

    /** The rights that let a holder change a folder's files or who may do so. */
    private static final Set<AclEntryPermission> WRITES = EnumSet.of(AclEntryPermission.WRITE_DATA,
            AclEntryPermission.APPEND_DATA, AclEntryPermission.WRITE_NAMED_ATTRS, AclEntryPermission.DELETE_CHILD,
            AclEntryPermission.WRITE_ATTRIBUTES, AclEntryPermission.DELETE, AclEntryPermission.WRITE_ACL,
            AclEntryPermission.WRITE_OWNER);
    /** The rights on the folder around it that let a holder remove or rename a folder it does not own. */
    private static final Set<AclEntryPermission> REMOVES = EnumSet.of(AclEntryPermission.DELETE_CHILD,
            AclEntryPermission.WRITE_ACL, AclEntryPermission.WRITE_OWNER);

    private FallbackFolder() {
    }

    /** `folder`, if the platform can be given its path; otherwise this user's fallback folder. */
    static File loadable(File folder) {
        return loadable(folder, System.getProperty("sun.jnu.encoding"), System.getenv("ProgramData"),
                System.getenv("SystemRoot"), System.getProperty("user.name", ""),
                path -> Files.getFileAttributeView(path, AclFileAttributeView.class));
    }

    /**
     * As above, with the encoding, the folder for all users' data, the Windows folder, the user's
     * name and the file system's access lists given.
     */
    static File loadable(File folder, String encoding, String programData, String systemRoot, String user,
            Function<Path, AclFileAttributeView> views) {
        if (encodable(folder.getPath(), encoding)) {
            return folder;
        }
        WinConsoleNative.trace(folder + " cannot be given to the platform in the code page " + encoding
                + " (sun.jnu.encoding)");
        File fallback = programData == null ? null : new File(programData, folderName(user));
        String reason;
        if (fallback == null || !fallback.isAbsolute() || !fallback.getParentFile().isDirectory()) {
            reason = "there is no folder for all users' program data (%ProgramData%) to fall back on";
        } else if (!encodable(fallback.getPath(), encoding)) {
            reason = "it cannot encode the fallback folder " + fallback + " either";
        } else {
            try {
                reason = unsafe(fallback, systemRoot, views);
            } catch (IOException | RuntimeException e) {
                reason = "the fallback folder " + fallback + " cannot be set up: " + e;
            }
        }
        if (reason == null) {
            WinConsoleNative.trace("using " + fallback + " instead, which no other user can write to");
            return fallback;
        }
        throw new UnsatisfiedLinkError("Cannot load the tirk-console library from " + folder + ": the JVM gives the"
                + " platform a library's path in the code page " + encoding + " (sun.jnu.encoding), which cannot"
                + " encode that folder, and " + reason + ". Point -D" + WinConsoleNative.CACHE_PROPERTY
                + " at a folder whose path " + encoding + " can encode, or set -D" + WinConsoleNative.LIBRARY_PROPERTY
                + "=<path of " + System.mapLibraryName("tirk-console") + "> in such a folder.");
    }

    /** Whether the JVM can pass `path` to the platform unchanged: true if the encoding is unknown. */
    static boolean encodable(String path, String encoding) {
        try {
            return encoding == null || Charset.forName(encoding).newEncoder().canEncode(path);
        } catch (IllegalCharsetNameException | UnsupportedCharsetException | UnsupportedOperationException e) {
            return true;
        }
    }

    /** "tirk-console-" and the user's name in letters any code page holds: others as _ and four hex digits. */
    static String folderName(String user) {
        StringBuilder name = new StringBuilder("tirk-console-");
        for (char c : user.toCharArray()) {
            if (c < 0x80 && (Character.isLetterOrDigit(c) || c == '-' || c == '.')) {
                name.append(c);
            } else {
                name.append('_').append(Integer.toHexString(0x10000 | c).substring(1));
            }
        }
        return name.toString();
    }

    /** Makes `fallback` if it is missing; then null if it is safe to use, else why not. */
    private static String unsafe(File fallback, String systemRoot, Function<Path, AclFileAttributeView> views)
            throws IOException {
        File around = fallback.getParentFile();
        AclFileAttributeView aroundView = views.apply(around.toPath());
        AclFileAttributeView windowsView = systemRoot == null ? null : views.apply(new File(systemRoot).toPath());
        if (aroundView == null || windowsView == null) {
            return "this file system keeps no access lists by which to check the fallback folder " + fallback;
        }
        UserPrincipal me = establish(fallback, views);
        AclFileAttributeView view = views.apply(fallback.toPath());
        Set<UserPrincipal> trusted = holders(windowsView.getAcl(), WRITES, false);
        trusted.add(windowsView.getOwner());
        trusted.add(me);
        return unsafeBecause(fallback, view.getOwner(), view.getAcl(), aroundView.getOwner(), aroundView.getAcl(), me,
                trusted);
    }

    /**
     * The judgement itself: null if `folder`, owned by `owner` with access list `acl`, inside a
     * folder owned by `aroundOwner` with `aroundAcl`, is safe for `me` beside the `trusted`
     * accounts, else why it is not.
     */
    static String unsafeBecause(File folder, UserPrincipal owner, List<AclEntry> acl, UserPrincipal aroundOwner,
            List<AclEntry> aroundAcl, UserPrincipal me, Set<UserPrincipal> trusted) {
        if (!owner.equals(me)) {
            return "the fallback folder " + folder + " belongs to " + owner.getName() + ", not to " + me.getName();
        }
        // Entries that only pass on to what is made inside count too: they would apply to the copies.
        Set<UserPrincipal> writers = holders(acl, WRITES, true);
        writers.removeAll(trusted);
        if (!writers.isEmpty()) {
            return "the fallback folder " + folder + " may be written to by " + names(writers);
        }
        if (!trusted.contains(aroundOwner)) {
            return "the fallback folder " + folder + " lies in a folder that belongs to " + aroundOwner.getName();
        }
        Set<UserPrincipal> removers = holders(aroundAcl, REMOVES, false);
        removers.removeAll(trusted);
        if (!removers.isEmpty()) {
            return "the fallback folder " + folder + " may be removed by " + names(removers);
        }
        return null;
    }

    /**
     * The accounts that entries of `acl` allow any of `rights`, counting the entries that apply
     * only to what is made inside if `passedOn`.
     */
    private static Set<UserPrincipal> holders(List<AclEntry> acl, Set<AclEntryPermission> rights, boolean passedOn) {
        Set<UserPrincipal> holders = new LinkedHashSet<>();
        for (AclEntry entry : acl) {
            if (entry.type() == AclEntryType.ALLOW && !Collections.disjoint(entry.permissions(), rights)
                    && (passedOn || !entry.flags().contains(AclEntryFlag.INHERIT_ONLY))) {
                holders.add(entry.principal());
            }
        }
        return holders;
    }

    private static String names(Set<UserPrincipal> principals) {
        StringBuilder names = new StringBuilder();
        for (UserPrincipal principal : principals) {
            names.append(names.length() == 0 ? "" : ", ").append(principal.getName());
        }
        return names.toString();
    }

    /**
     * Makes `fallback` with an access list for this user alone if it does not exist, and returns
     * this user, as the owner the platform gives a new folder.
     */
    private static UserPrincipal establish(File fallback, Function<Path, AclFileAttributeView> views)
            throws IOException {
        Path temporary = Files.createDirectory(
                new File(fallback.getParentFile(), fallback.getName() + "." + Long.toHexString(System.nanoTime()) + ".tmp")
                        .toPath());
        try {
            AclFileAttributeView view = views.apply(temporary);
            UserPrincipal me = view.getOwner();
            if (!fallback.exists()) {
                view.setAcl(Collections.singletonList(AclEntry.newBuilder().setType(AclEntryType.ALLOW).setPrincipal(me)
                        .setPermissions(EnumSet.allOf(AclEntryPermission.class))
                        .setFlags(AclEntryFlag.FILE_INHERIT, AclEntryFlag.DIRECTORY_INHERIT).build()));
                try {
                    Files.move(temporary, fallback.toPath());
                    WinConsoleNative.trace("made " + fallback + " for this user alone");
                } catch (IOException e) {
                    // Another JVM may have made it meanwhile.
                    if (!fallback.isDirectory()) {
                        throw e;
                    }
                }
            }
            return me;
        } finally {
            Files.deleteIfExists(temporary);
        }
    }
}
