package org.tirk.terminal.tty.impl;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

import java.io.File;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.attribute.*;
import java.util.*;
import java.util.function.Consumer;

import static java.nio.file.attribute.AclEntryFlag.*;
import static java.nio.file.attribute.AclEntryPermission.*;
import static org.junit.jupiter.api.Assertions.*;

/**
 * The folder the loader extracts into when the JVM cannot give the cache folder's path to the
 * platform, with made-up access lists for what Wine's and Linux's real ones cannot show: rights
 * passed on to what is made inside, generic rights, no access list at all and denials. The
 * loader's cases prove the rest of the rule on both platforms.
 */
class CacheFolderTest {

    static final String CP1252 = "windows-1252";
    static final String USER = System.getProperty("user.name");
    /** This user's account, and another domain's of the same name. */
    static final UserPrincipal ME = () -> "PC\\" + USER, NAMESAKE = () -> "OTHER\\" + USER;
    static final UserPrincipal MALLORY = () -> "mallory", USERS = () -> "Users", EVERYONE = () -> "Everyone",
            SYSTEM = () -> "SYSTEM", ADMINISTRATORS = () -> "BUILTIN\\Administrators";
    static final File UNENCODABLE = new File("/c/Users/\u0141ukasz/AppData/Local/tirk-console");
    static final String FIRST = "tirk-console-_0141ukasz", SECOND = FIRST + "-2";

    @TempDir
    Path programData;

    static AclEntry entry(AclEntryType type, UserPrincipal who, Set<AclEntryPermission> rights, AclEntryFlag... flags) {
        return AclEntry.newBuilder().setType(type).setPrincipal(who).setPermissions(rights).setFlags(flags).build();
    }

    static AclEntry allow(UserPrincipal who, AclEntryPermission right, AclEntryFlag... flags) {
        return entry(AclEntryType.ALLOW, who, EnumSet.of(right), flags);
    }

    /**
     * Owners and access lists by folder name (a folder being made goes by the name it will take);
     * "around" is the folder for all users' data and "windows" the Windows folder.
     */
    final class Lists extends CacheFolder {
        final Map<String, UserPrincipal> owners = new HashMap<>(Map.of("around", SYSTEM, "windows", SYSTEM));
        final Map<String, List<AclEntry>> acls = new HashMap<>();
        final List<List<AclEntry>> set = new ArrayList<>();

        Lists() {
            super(Paths.get("/c/windows"), true);
        }

        @Override
        AclFileAttributeView view(Path path) {
            String name = path.equals(programData) ? "around" : path.getFileName() == null ? "/"
                    : path.getFileName().toString().replaceAll("\\.[0-9a-f]+\\.tmp$", "");
            return new AclFileAttributeView() {
                public String name() {
                    return "acl";
                }

                public UserPrincipal getOwner() {
                    return owners.getOrDefault(name, name.startsWith("tirk-console") ? ME : SYSTEM);
                }

                public void setOwner(UserPrincipal owner) {
                    throw new UnsupportedOperationException();
                }

                public List<AclEntry> getAcl() {
                    return acls.getOrDefault(name, List.of(allow(SYSTEM, WRITE_DATA)));
                }

                public void setAcl(List<AclEntry> acl) {
                    set.add(acl);
                    acls.put(name, acl); // renamed into place with it
                }
            };
        }

        /** The account this process runs as: ME, whose new files belong to it too unless `owners` says otherwise. */
        @Override
        String[] account() {
            return new String[] {ME.getName(), "S-1-5-21-1-2-3-1001"};
        }

        @Override
        UserPrincipal lookup(String name) throws UserPrincipalNotFoundException {
            if (!name.equals(ME.getName())) {
                throw new UserPrincipalNotFoundException(name);
            }
            return ME;
        }
    }

    File choose(File folder, String encoding, String programData, CacheFolder folders) {
        return LibraryInstaller.loadable(folder, encoding, programData, "\u0141ukasz", folders, new ArrayList<>());
    }

    @Test
    void aFolderThePlatformCanBeGivenIsKeptWithoutLookingFurther() {
        for (String[] kept : new String[][] {{"/c/Users/J\u00f6rg/cache", CP1252}, {"/c/Users/\u5f20\u4f1f/cache", "GBK"},
                {"/c/Users/\u0141ukasz/cache", null}, {"/c/Users/\u0141ukasz/cache", "no-such-code-page"}}) {
            assertEquals(new File(kept[0]), choose(new File(kept[0]), kept[1], "/c/ProgramData", null));
        }
    }

    @Test
    void otherwiseAFolderForThisUserAloneIsMadeOnceAndUsed() throws Exception {
        Lists lists = new Lists();
        File fallback = programData.resolve(FIRST).toFile();
        assertEquals(fallback, choose(UNENCODABLE, CP1252, programData.toString(), lists));
        assertEquals(fallback, choose(UNENCODABLE, CP1252, programData.toString(), lists));
        assertEquals(1, lists.set.size(), "an existing folder keeps its access list");
        try (var files = Files.list(programData)) {
            assertEquals(List.of(fallback.toPath()), files.toList(), "nothing else is left behind");
        }
        assertEquals("tirk-console-a_005fb.c-D_00209_5f20", LibraryInstaller.folderName("a_b.c-D 9\u5f20"));
    }

    @Test
    void aFolderOthersCanChangeIsPassedOver() throws Exception {
        Files.createDirectories(programData.resolve(FIRST));
        Map<String, Consumer<Lists>> cases = Map.of(
                "passed over: Everyone may write to", lists -> lists.acls.put(FIRST,
                        List.of(allow(EVERYONE, WRITE_DATA, INHERIT_ONLY))),
                "passed over: Users may write to", lists -> lists.acls.put(FIRST,
                        List.of(entry(AclEntryType.ALLOW, USERS, EnumSet.noneOf(AclEntryPermission.class), INHERIT_ONLY))),
                "passed over: everyone (it has no access list) may write to", lists -> lists.acls.put(FIRST, List.of()),
                "passed over: mallory owns it", lists -> lists.owners.put(FIRST, MALLORY),
                "used: others may read", lists -> lists.acls.put(FIRST, List.of(allow(USERS, READ_DATA))),
                "used: those who may write to Windows may write", lists -> lists.acls.put(FIRST,
                        List.of(allow(SYSTEM, WRITE_DATA))),
                "used: others are denied", lists -> lists.acls.put(FIRST,
                        List.of(entry(AclEntryType.DENY, EVERYONE, EnumSet.of(WRITE_DATA)))),
                "used: others may remove only what is made around it later", lists -> lists.acls.put("around",
                        List.of(allow(EVERYONE, DELETE_CHILD, INHERIT_ONLY))));
        for (Map.Entry<String, Consumer<Lists>> check : cases.entrySet()) {
            Lists lists = new Lists();
            check.getValue().accept(lists);
            String expected = check.getKey();
            assertEquals(programData.resolve(expected.startsWith("used") ? FIRST : SECOND).toFile(),
                    choose(UNENCODABLE, CP1252, programData.toString(), lists), expected);
        }
    }

    @Test
    void thisUsersOwnFolderPassesThoughNothingCanBeMadeInIt() throws Exception {
        Path sealed = NativeLibraryTest.unwritable("read-only");
        Lists lists = new Lists();
        lists.owners.put(sealed.getFileName().toString(), ME);
        assertEquals(sealed.toRealPath().toFile(), lists.checked(sealed.toFile()));
    }

    @Test
    @SuppressWarnings("unchecked")
    void anAdministratorWhoseNewFilesBelongToAdministratorsIsStillThisUser() throws Exception {
        Lists lists = new Lists();
        // As on Windows Server, elevated: what this process makes belongs to Administrators, who may change Windows.
        lists.owners.putAll(Map.of("tirk-console", ADMINISTRATORS, "cache", ADMINISTRATORS, "tirk-console-made",
                ADMINISTRATORS, "profile", ME, "theirs", MALLORY));
        lists.acls.put("windows", List.of(allow(SYSTEM, WRITE_DATA), allow(ADMINISTRATORS, WRITE_DATA)));
        Path profile = Files.createDirectories(programData.resolve("profile"));
        List<AclEntry> profiles = List.of(allow(ME, WRITE_DATA), allow(SYSTEM, WRITE_DATA), allow(ADMINISTRATORS, WRITE_DATA));
        // The folder; who else may change it (or "passes"); what it holds besides the profile's entries.
        Object[][] cases = {
            {"profile", "passes", List.of()},
            {"cache", "passes", List.of()},
            {"theirs", "mallory may write", List.of()},
            {"open", "mallory may write", List.of(allow(MALLORY, APPEND_DATA))},
            {"namesake", NAMESAKE.getName() + " (not " + ME.getName() + ", the account this process runs as) may write",
                List.of(allow(NAMESAKE, WRITE_DATA))},
        };
        for (Object[] row : cases) {
            Path folder = row[0].equals("profile") ? profile : Files.createDirectories(profile.resolve((String) row[0]));
            List<AclEntry> acl = new ArrayList<>(profiles);
            acl.addAll((List<AclEntry>) row[2]);
            lists.acls.put((String) row[0], acl);
            String why;
            try {
                lists.checked(folder.toFile());
                why = "passes";
            } catch (IOException e) {
                why = e.getMessage();
                String holders = why.substring(0, why.indexOf(" may ")).replaceAll("\\(.*?\\)", "");
                assertFalse(holders.contains(ME.getName()), "this user named as another: " + why);
            }
            assertTrue(why.startsWith((String) row[1]), row[0] + ": " + why);
        }
        // The temporary cache is made for this user alone: its account, not the owner Windows gives it.
        File made = LibraryInstaller.own(lists, profile.toFile(), "tirk-console-made", new ArrayList<>());
        assertEquals(profile.resolve("tirk-console-made").toFile(), made);
        assertEquals(List.of(ME.getName()), lists.set.stream().flatMap(List::stream).map(e -> e.principal().getName()).toList());
    }

    @Test
    void withoutAUsableFolderForAllUsersTheErrorSaysSo() throws Exception {
        Map<String, String> roots = new HashMap<>(Map.of("cannot encode the fallback folder",
                Files.createDirectories(programData.resolve("Dane \u0141")).toString()));
        roots.put("there is no folder for all users' program data", null);
        for (Map.Entry<String, String> root : roots.entrySet()) {
            String error = assertThrows(UnsatisfiedLinkError.class,
                    () -> choose(UNENCODABLE, CP1252, root.getValue(), new Lists())).getMessage();
            assertTrue(error.contains(root.getKey()) && error.contains(UNENCODABLE.toString()) && error.contains(CP1252)
                    && error.contains("-Dtirk.console.cache") && error.contains("-Dtirk.console.library"), error);
        }
    }
}
