package org.tirk.terminal.tty.impl;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

import java.io.File;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.*;
import java.util.*;
import java.util.function.Consumer;
import java.util.function.Function;

import static java.nio.file.attribute.AclEntryFlag.*;
import static java.nio.file.attribute.AclEntryPermission.*;
import static org.junit.jupiter.api.Assertions.*;

/**
 * The folder the loader extracts into when the JVM cannot give the cache folder's path to the
 * platform, as a function of the path, the code page and the access lists, which are made up
 * here (Linux keeps none; the Windows JVM suite loads through the real ones for such users).
 */
class FallbackFolderTest {

    static final String CP1252 = "windows-1252";
    static final UserPrincipal ME = () -> "me", MALLORY = () -> "mallory", USERS = () -> "Users",
            EVERYONE = () -> "Everyone", SYSTEM = () -> "SYSTEM";
    static final File UNENCODABLE = new File("/c/Users/\u0141ukasz/AppData/Local/tirk-console");

    @TempDir
    Path programData;

    static AclEntry entry(AclEntryType type, UserPrincipal who, Set<AclEntryPermission> rights, AclEntryFlag... flags) {
        return AclEntry.newBuilder().setType(type).setPrincipal(who).setPermissions(rights).setFlags(flags).build();
    }

    static AclEntry allow(UserPrincipal who, AclEntryPermission right, AclEntryFlag... flags) {
        return entry(AclEntryType.ALLOW, who, EnumSet.of(right), flags);
    }

    /**
     * Owners and access lists of the fallback ("fallback"; "new" while it has its temporary name),
     * the folder around it ("around") and the Windows folder ("windows").
     */
    static final class Lists implements Function<Path, AclFileAttributeView> {
        final Map<String, UserPrincipal> owners = new HashMap<>(Map.of("around", SYSTEM, "windows", SYSTEM));
        final Map<String, List<AclEntry>> acls = new HashMap<>(Map.of("windows", List.of(allow(SYSTEM, WRITE_DATA))));
        List<AclEntry> set;

        @Override
        public AclFileAttributeView apply(Path path) {
            String name = path.getFileName().toString();
            String role = name.endsWith(".tmp") ? "new" : name.startsWith("tirk-console-") ? "fallback"
                    : name.equals("windows") ? "windows" : "around";
            return new AclFileAttributeView() {
                public String name() {
                    return "acl";
                }

                public UserPrincipal getOwner() {
                    return owners.getOrDefault(role, ME);
                }

                public void setOwner(UserPrincipal owner) {
                    throw new UnsupportedOperationException();
                }

                public List<AclEntry> getAcl() {
                    return acls.getOrDefault(role, List.of());
                }

                public void setAcl(List<AclEntry> acl) {
                    set = acl;
                    acls.put("fallback", acl); // renamed into place with it
                }
            };
        }
    }

    File choose(File folder, String encoding, String programData, Function<Path, AclFileAttributeView> views) {
        return FallbackFolder.loadable(folder, encoding, programData, "/c/windows", "\u0141ukasz", views);
    }

    @Test
    void aFolderThePlatformCanBeGivenIsKeptWithoutLookingFurther() {
        for (String[] kept : new String[][] {{"/c/Users/J\u00f6rg/cache", CP1252}, {"/c/Users/\u5f20\u4f1f/cache", "GBK"},
                {"/c/Users/\u0141ukasz/cache", null}, {"/c/Users/\u0141ukasz/cache", "no-such-code-page"}}) {
            assertEquals(new File(kept[0]), choose(new File(kept[0]), kept[1], "/c/ProgramData", path -> fail("" + path)));
        }
    }

    @Test
    void otherwiseAFolderForThisUserAloneIsMadeOnceAndUsed() throws Exception {
        Lists lists = new Lists();
        File fallback = programData.resolve("tirk-console-_0141ukasz").toFile();
        assertEquals(fallback, choose(UNENCODABLE, CP1252, programData.toString(), lists));
        assertEquals(List.of(entry(AclEntryType.ALLOW, ME, EnumSet.allOf(AclEntryPermission.class), FILE_INHERIT,
                DIRECTORY_INHERIT)), lists.set);
        lists.set = null;
        assertEquals(fallback, choose(UNENCODABLE, CP1252, programData.toString(), lists));
        assertNull(lists.set, "an existing folder keeps its access list");
        try (var files = Files.list(programData)) {
            assertEquals(List.of(fallback.toPath()), files.toList(), "nothing else is left behind");
        }
        assertEquals("tirk-console-a_005fb.c-D_00209_5f20", FallbackFolder.folderName("a_b.c-D 9\u5f20"));
    }

    @Test
    void anExistingFallbackIsUsedOnlyIfNoOtherUserCanChangeIt() throws Exception {
        Files.createDirectories(programData.resolve("tirk-console-_0141ukasz"));
        Map<String, Consumer<Lists>> cases = Map.of(
                "belongs to mallory, not to me", lists -> lists.owners.put("fallback", MALLORY),
                "may be written to by Users", lists -> lists.acls.put("fallback", List.of(allow(USERS, WRITE_DATA))),
                "may be written to by Everyone, Users", lists -> lists.acls.put("fallback",
                        List.of(allow(EVERYONE, WRITE_DATA, INHERIT_ONLY), allow(USERS, DELETE_CHILD))),
                "lies in a folder that belongs to mallory", lists -> lists.owners.put("around", MALLORY),
                "may be removed by Everyone", lists -> lists.acls.put("around", List.of(allow(EVERYONE, DELETE_CHILD))),
                "safe: others may read", lists -> lists.acls.put("fallback", List.of(allow(USERS, READ_DATA))),
                "safe: those who may write to Windows may write", lists -> lists.acls.put("fallback",
                        List.of(allow(SYSTEM, WRITE_DATA))),
                "safe: others are denied", lists -> lists.acls.put("fallback",
                        List.of(entry(AclEntryType.DENY, EVERYONE, EnumSet.of(WRITE_DATA)))),
                "safe: others may remove only what is made around it later", lists -> lists.acls.put("around",
                        List.of(allow(EVERYONE, DELETE_CHILD, INHERIT_ONLY))));
        for (Map.Entry<String, Consumer<Lists>> check : cases.entrySet()) {
            Lists lists = new Lists();
            check.getValue().accept(lists);
            if (check.getKey().startsWith("safe")) {
                assertEquals(programData.resolve("tirk-console-_0141ukasz").toFile(),
                        choose(UNENCODABLE, CP1252, programData.toString(), lists), check.getKey());
                continue;
            }
            String error = assertThrows(UnsatisfiedLinkError.class,
                    () -> choose(UNENCODABLE, CP1252, programData.toString(), lists)).getMessage();
            assertTrue(error.contains(check.getKey()) && error.contains(UNENCODABLE.toString()) && error.contains(CP1252)
                    && error.contains("-Dtirk.console.cache") && error.contains("-Dtirk.console.library"), error);
        }
    }

    @Test
    void withoutAUsableFolderForAllUsersTheErrorSaysSo() throws Exception {
        Map<String, String> roots = new HashMap<>(Map.of("keeps no access lists", programData.toString(),
                "cannot encode the fallback folder", Files.createDirectories(programData.resolve("Dane \u0141")).toString()));
        roots.put("there is no folder for all users' program data", null);
        for (Map.Entry<String, String> root : roots.entrySet()) {
            String error = assertThrows(UnsatisfiedLinkError.class,
                    () -> choose(UNENCODABLE, CP1252, root.getValue(), path -> null)).getMessage();
            assertTrue(error.contains(root.getKey()) && error.contains("-Dtirk.console.cache"), error);
        }
    }
}
