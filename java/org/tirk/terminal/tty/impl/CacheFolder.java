package org.tirk.terminal.tty.impl;

import java.io.File;
import java.io.IOException;
import java.nio.file.AccessDeniedException;
import java.nio.file.FileAlreadyExistsException;
import java.nio.file.FileSystemException;
import java.nio.file.FileSystems;
import java.nio.file.Files;
import java.nio.file.NoSuchFileException;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.attribute.AclEntry;
import java.nio.file.attribute.AclEntryFlag;
import java.nio.file.attribute.AclEntryPermission;
import java.nio.file.attribute.AclEntryType;
import java.nio.file.attribute.AclFileAttributeView;
import java.nio.file.attribute.UserPrincipal;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.HashSet;
import java.util.Iterator;
import java.util.LinkedHashMap;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;

import static java.nio.file.LinkOption.NOFOLLOW_LINKS;

/**
 * The folders the loader keeps its copies of the library in, and the one rule by which it uses
 * one: no account but this user and the trusted ones can change what the folder holds. This user
 * is the owner the platform gives a folder this process makes and the account the process runs as:
 * on Windows the two differ for an administrator whose new files belong to the Administrators group
 * (elevated on Windows Server), whose own profile is still this user's. Trusted are the accounts that
 * may change the system's own folder ({@code %SystemRoot%} on Windows, the file system's root
 * elsewhere), which control every process already.
 *
 * <p>A folder passes if it belongs to this user or a trusted account and lets no other account
 * write to it, counting the rights it only passes on to what is made inside, which would apply to
 * the copies; and if every folder above it belongs to this user or a trusted account and lets no
 * other remove, rename or re-permission it or what it holds. Symbolic links are resolved first, so
 * that the folders judged are the folders used. Where a file system keeps owners and mode bits
 * instead of access lists, the bits are read as one: the group and all other accounts, where they
 * may write, may add entries, and remove those of others too unless the folder is sticky (as /tmp
 * is).
 *
 * <p>Only the judging lives here, as a configured start judges its folder on every start; making a
 * folder for this user alone is the installer's ({@link LibraryInstaller#own}).
 */
class CacheFolder {

    /** The rights that let a holder change what a folder holds, or who may: a bit per AclEntryPermission. */
    private static final int WRITES = bits(AclEntryPermission.WRITE_DATA, AclEntryPermission.APPEND_DATA,
            AclEntryPermission.WRITE_NAMED_ATTRS, AclEntryPermission.DELETE_CHILD, AclEntryPermission.WRITE_ATTRIBUTES,
            AclEntryPermission.DELETE, AclEntryPermission.WRITE_ACL, AclEntryPermission.WRITE_OWNER);
    /** The rights on a folder above that let a holder remove, rename or re-permission it or what it holds. */
    private static final int REMOVES = bits(AclEntryPermission.DELETE_CHILD, AclEntryPermission.DELETE,
            AclEntryPermission.WRITE_ACL, AclEntryPermission.WRITE_OWNER);
    /** The rights mode bits give to add entries to a folder, and to remove those of others (but in a sticky folder). */
    private static final int ADDS = bits(AclEntryPermission.WRITE_DATA, AclEntryPermission.APPEND_DATA),
            REMOVES_OTHERS = bits(AclEntryPermission.DELETE_CHILD);
    /** Every right: the owner's, who may always change who may do what. */
    private static final int ALL = -1;

    /** The system's own folder, whose owner and writers are trusted; null where it is not known. */
    private final Path system;
    /** Whether the file system keeps access lists, rather than owners and mode bits. */
    private final boolean acl;
    /** The accounts trusted, and this user, once told. */
    private Set<UserPrincipal> trusted;
    private UserPrincipal thisUser;
    /** The account this process runs as, once learnt (see {@link #account}). */
    private String[] account;
    /** What each folder read so far lets whom do: the system's folder is read for the trusted and as a folder above. */
    private final Map<Path, List<Grant>> read = new HashMap<>();

    CacheFolder(Path system, boolean acl) {
        this.system = system;
        this.acl = acl;
    }

    /** Judges folders on the file system that holds `folder`, by its access lists or mode bits. */
    static CacheFolder on(File folder) {
        Path root = folder.toPath().toAbsolutePath().getRoot();
        // Asked by name: where there are no access lists, their classes are never loaded.
        if (!root.getFileSystem().supportedFileAttributeViews().contains("acl")) {
            return new CacheFolder(root, false);
        }
        String systemRoot = System.getenv("SystemRoot");
        return new CacheFolder(systemRoot == null ? null : Paths.get(systemRoot), true);
    }

    /** `folder`'s access list, or null where the file system keeps owners and mode bits instead. */
    AclFileAttributeView view(Path folder) {
        return acl ? Files.getFileAttributeView(folder, AclFileAttributeView.class, NOFOLLOW_LINKS) : null;
    }

    /** `folder`'s real path, if no other account can change it; else an IOException that says who can. */
    File checked(File folder) throws IOException {
        Path real = folder.toPath().toRealPath();
        Set<UserPrincipal> trusted = trusted();
        Map<String, Set<UserPrincipal>> others = itself(real, trusted);
        if (real.getParent() != null) {
            others.putAll(above(real.getParent(), trusted));
        }
        String why = reason(others);
        if (why != null) {
            throw new IOException(why);
        }
        return real.toFile();
    }

    /**
     * Who other than this user and the trusted accounts may write to `path`, a copy or a folder of
     * copies in a folder that passed {@link #checked}; null if no one.
     */
    String othersWhoMayChange(File path) throws IOException {
        return reason(itself(path.toPath(), trusted()));
    }

    /**
     * Who other than this user and the trusted accounts may remove, rename or re-permission
     * `folder` or a folder above it; null if no one.
     */
    String othersWhoMayRemove(File folder) throws IOException {
        return reason(above(folder.toPath().toRealPath(), trusted()));
    }

    /**
     * Who other than the `trusted` accounts may write to `folder`, counting the rights it only
     * passes on to what is made inside, which would apply to the copies.
     */
    private Map<String, Set<UserPrincipal>> itself(Path folder, Set<UserPrincipal> trusted) throws IOException {
        Map<String, Set<UserPrincipal>> others = new LinkedHashMap<>();
        note(others, "may write to " + folder, allowed(grants(folder), WRITES, true), trusted);
        return others;
    }

    /** Who other than the `trusted` accounts may remove, rename or re-permission `folder` or a folder above it. */
    private Map<String, Set<UserPrincipal>> above(Path folder, Set<UserPrincipal> trusted) throws IOException {
        Map<String, Set<UserPrincipal>> others = new LinkedHashMap<>();
        for (Path up = folder; up != null; up = up.getParent()) {
            note(others, "may remove, rename or re-permission " + up + " or what it holds",
                    allowed(grants(up), REMOVES, false), trusted);
        }
        return others;
    }

    private static void note(Map<String, Set<UserPrincipal>> others, String what, Set<UserPrincipal> who,
            Set<UserPrincipal> trusted) {
        // One by one from the trusted: removeAll would walk `who`, whose iterator's classes a start
        // that finds no one else would load for nothing.
        for (UserPrincipal account : trusted) {
            who.remove(account);
        }
        if (!who.isEmpty()) {
            others.put(what, who);
        }
    }

    /** What accounts other than this user can do, or null if nothing. */
    private String reason(Map<String, Set<UserPrincipal>> others) throws IOException {
        if (others.isEmpty()) {
            return null;
        }
        StringBuilder reason = new StringBuilder();
        for (Map.Entry<String, Set<UserPrincipal>> what : others.entrySet()) {
            Set<UserPrincipal> who = what.getValue();
            for (Iterator<UserPrincipal> holder = who.iterator(); holder.hasNext(); ) {
                if (isThisUser(holder.next())) {
                    holder.remove();
                }
            }
            if (!who.isEmpty()) {
                reason.append(reason.length() == 0 ? "" : "; ").append(names(who)).append(' ').append(what.getKey());
            }
        }
        return reason.length() == 0 ? null : reason.toString();
    }

    /** The owner of the system's own folder and those its access list lets write to it. */
    private Set<UserPrincipal> trusted() throws IOException {
        if (trusted != null) {
            return trusted;
        }
        if (system == null) {
            throw new IOException("%SystemRoot% is not set, so whose folders to trust cannot be told");
        }
        Set<UserPrincipal> accounts = new HashSet<>();
        for (Grant grant : grants(system)) {
            if (grant.decoded && !grant.passedOnOnly && (grant.rights & WRITES) != 0) {
                accounts.add(grant.who);
            }
        }
        trusted = accounts;
        return accounts;
    }

    /**
     * The accounts that `grants` allow any of `rights`, counting those that apply only to what is
     * made inside if `passedOn`.
     */
    private static Set<UserPrincipal> allowed(List<Grant> grants, int rights, boolean passedOn) {
        Set<UserPrincipal> holders = new LinkedHashSet<>();
        for (Grant grant : grants) {
            if ((passedOn || !grant.passedOnOnly) && (grant.rights & rights) != 0) {
                holders.add(grant.who);
            }
        }
        return holders;
    }

    /**
     * What `folder` lets whom do: its owner everything; then its access list's entries, where it
     * has one, or what its mode bits let its group and all other accounts do: add entries, and
     * remove those of others too unless the folder is sticky. Mode bits are read without Java's
     * access-list types, whose enum sets cost a JVM's start milliseconds to set up.
     */
    private List<Grant> grants(Path folder) throws IOException {
        List<Grant> grants = read.get(folder);
        if (grants == null) {
            grants = grantsOf(folder);
            read.put(folder, grants);
        }
        return grants;
    }

    private List<Grant> grantsOf(Path folder) throws IOException {
        List<Grant> grants = new ArrayList<>();
        AclFileAttributeView view = view(folder);
        if (view != null) {
            grants.add(new Grant(view.getOwner(), ALL, false, true));
            List<AclEntry> acl = view.getAcl();
            if (acl.isEmpty()) {
                // Windows reads a null DACL, which lets everyone in, as no entries.
                grants.add(new Grant(new Account("everyone (it has no access list)"), ALL, false, false));
            }
            for (AclEntry entry : acl) {
                if (entry.type() == AclEntryType.ALLOW) {
                    int rights = 0;
                    for (AclEntryPermission permission : entry.permissions()) {
                        rights |= bits(permission);
                    }
                    // Generic rights, which Java does not decode, arrive as none: they may be any.
                    grants.add(new Grant(entry.principal(), rights == 0 ? ALL : rights,
                            entry.flags().contains(AclEntryFlag.INHERIT_ONLY), rights != 0));
                }
            }
            return grants;
        }
        // Accounts by number: their names are looked up only for a message.
        Map<String, Object> bits = Files.readAttributes(folder, "unix:mode,uid,gid", NOFOLLOW_LINKS);
        int mode = (Integer) bits.get("mode");
        int writes = ADDS | ((mode & 01000) == 0 ? REMOVES_OTHERS : 0);
        grants.add(new Grant(new Account(folder, false, bits.get("uid")), ALL, false, true));
        if ((mode & 020) != 0) {
            grants.add(new Grant(new Account(folder, true, bits.get("gid")), writes, false, true));
        }
        if ((mode & 02) != 0) {
            grants.add(new Grant(new Account("every other account"), writes, false, true));
        }
        return grants;
    }

    private static int bits(AclEntryPermission... permissions) {
        int bits = 0;
        for (AclEntryPermission permission : permissions) {
            bits |= 1 << permission.ordinal();
        }
        return bits;
    }

    /**
     * The accounts' names as people read them: a well-known account's empty domain ({@code \Everyone})
     * left out; one of this user's name that the rule cannot tell for this user says why it counts
     * as another.
     */
    private String names(Set<UserPrincipal> principals) {
        StringBuilder names = new StringBuilder();
        String user = System.getProperty("user.name", "");
        for (UserPrincipal principal : principals) {
            String name = principal.getName();
            names.append(names.length() == 0 ? "" : ", ").append(name.startsWith("\\") ? name.substring(1) : name);
            if (acl && name.substring(name.lastIndexOf('\\') + 1).equalsIgnoreCase(user)) {
                String[] account = account();
                names.append(account[0].isEmpty() ? " (whose name is this user's, but " + account[2] + ")"
                        : " (not " + account[0] + ", the account this process runs as)");
            }
        }
        return names.toString();
    }

    /**
     * Whether `principal` is this user: the owner the platform gives a folder this process makes,
     * or, where that is another (an elevated administrator's new files may belong to the
     * Administrators group), the account the process runs as, which is learnt only then.
     */
    private boolean isThisUser(UserPrincipal principal) throws IOException {
        if (principal.equals(me())) {
            return true;
        }
        if (!acl) {
            return false; // the owner of a new file is the account itself
        }
        String name = principal.getName();
        String[] account = account();
        return !account[0].isEmpty() && (name.equalsIgnoreCase(account[0]) || name.equals(account[1]));
    }

    /**
     * The account this process runs as: its name ({@code DOMAIN\name}), its SID or null, and where
     * the name is empty, why it cannot be told; learnt by the installer, once.
     */
    String[] account() {
        if (account == null) {
            account = LibraryInstaller.account(this);
        }
        return account;
    }

    /** The account of `name`, as the platform looks it up. */
    UserPrincipal lookup(String name) throws IOException {
        return FileSystems.getDefault().getUserPrincipalLookupService().lookupPrincipalByName(name);
    }

    /** Whether the file system keeps access lists, rather than owners and mode bits. */
    boolean keepsAccessLists() {
        return acl;
    }

    UserPrincipal owner(Path path) throws IOException {
        AclFileAttributeView view = view(path);
        return view != null ? view.getOwner() : new Account(path, false, Files.getAttribute(path, "unix:uid", NOFOLLOW_LINKS));
    }

    /**
     * This user as the owner the platform gives a folder this process makes, which is the same
     * wherever it is made: so it is made in the temporary folder, which this user may write to
     * where the folders judged may refuse it, and removed again.
     */
    UserPrincipal me() throws IOException {
        if (thisUser == null) {
            Path temporary = Paths.get(System.getProperty("java.io.tmpdir"));
            Path probe;
            try {
                probe = temporaryFolder(temporary.resolve(WinConsoleNative.NAME));
            } catch (IOException e) {
                // Not a refusal: it has a cause.
                throw new IOException("this user cannot be told from other accounts, as no folder can be made in the"
                        + " temporary folder " + temporary + " (" + why(e) + ")", e);
            }
            try {
                thisUser = owner(probe);
            } finally {
                Files.delete(probe);
            }
        }
        return thisUser;
    }

    /** A new folder beside `beside`, named after it, that no other process made. */
    static Path temporaryFolder(Path beside) throws IOException {
        for (long attempt = System.nanoTime(); ; attempt++) {
            try {
                return Files.createDirectory(beside.resolveSibling(beside.getFileName() + "." + Long.toHexString(attempt)
                        + ".tmp"));
            } catch (IOException e) {
                // Caught as IOException so that verifying this class, which every configured start
                // does, loads no exception class of its own.
                if (!(e instanceof FileAlreadyExistsException)) {
                    throw e;
                }
                // another JVM's, made in the same tick
            }
        }
    }

    /** Why the rule refuses a folder, if `e` is its refusal: a plain IOException without a cause; else null. */
    static String refusal(Exception e) {
        return e.getClass() == IOException.class && e.getCause() == null ? e.getMessage() : null;
    }

    /**
     * What went wrong, as an error message says it: a refusal by who may change what, a failure
     * of the file system by the platform's reason alone, as the files it names may be temporary
     * ones no user asked for; anything else by its kind too.
     */
    static String why(Exception e) {
        // Tested with instanceof, which loads no class when this class is verified.
        if (e instanceof FileSystemException) {
            String reason = ((FileSystemException) e).getReason();
            if (reason == null) {
                reason = e instanceof AccessDeniedException ? "access denied" : e instanceof NoSuchFileException
                        ? "path not found" : e instanceof FileAlreadyExistsException ? "already exists" : e.getClass().getSimpleName();
            }
            return reason.endsWith(".") ? reason.substring(0, reason.length() - 1) : reason;
        }
        return e.getClass() == IOException.class ? e.getMessage() : e.toString();
    }

    /**
     * An account as a message names it: `name`, for one no file system gives; else one of a file
     * system that keeps owners and mode bits, by its number (a group's if `group`), named only
     * when a message needs it, as the file `path` names it. One class for both, as each class
     * costs a start its loading.
     */
    private static final class Account implements UserPrincipal {
        private final String name;
        private final Path path;
        private final boolean group;
        private final Object number;

        Account(String name) {
            this(name, null, false, null);
        }

        Account(Path path, boolean group, Object number) {
            this(null, path, group, number);
        }

        private Account(String name, Path path, boolean group, Object number) {
            this.name = name;
            this.path = path;
            this.group = group;
            this.number = number;
        }

        @Override
        public String getName() {
            if (name != null) {
                return name;
            }
            String found;
            try {
                found = ((UserPrincipal) Files.getAttribute(path, group ? "unix:group" : "unix:owner", NOFOLLOW_LINKS)).getName();
            } catch (IOException | RuntimeException e) {
                found = String.valueOf(number);
            }
            return group ? "the group " + found : found;
        }

        @Override
        public boolean equals(Object other) {
            return other == this || number != null && other instanceof Account && ((Account) other).group == group
                    && number.equals(((Account) other).number);
        }

        @Override
        public int hashCode() {
            return number == null ? System.identityHashCode(this) : number.hashCode();
        }
    }

    /**
     * What a folder lets one account do: `rights`, a bit per AclEntryPermission; only to what is
     * made inside if `passedOnOnly`; `decoded` unless the rights could not be read and are taken
     * to be any.
     */
    private static final class Grant {
        final UserPrincipal who;
        final int rights;
        final boolean passedOnOnly;
        final boolean decoded;

        Grant(UserPrincipal who, int rights, boolean passedOnOnly, boolean decoded) {
            this.who = who;
            this.rights = rights;
            this.passedOnOnly = passedOnOnly;
            this.decoded = decoded;
        }
    }
}
