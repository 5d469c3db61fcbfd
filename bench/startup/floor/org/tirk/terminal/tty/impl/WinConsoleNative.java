package org.tirk.terminal.tty.impl;

import java.io.IOException;
import java.io.UncheckedIOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;

import static java.nio.file.LinkOption.NOFOLLOW_LINKS;

/**
 * The floor of the start-up benchmark: an application's own class that loads the same library
 * by hand, with no loader around it, and declares the one native that OneCall calls. With
 * -Dbench.localAppData=true it first reads LOCALAPPDATA, as finding the default cache does. With
 * -Dbench.judged=FILE it first reads the owner and mode bits of FILE and of every folder above it,
 * as judging a configured cache needs, and nothing more: what those reads cost any Java program.
 */
public final class WinConsoleNative {
    static {
        if (Boolean.getBoolean("bench.localAppData") && System.getenv("LOCALAPPDATA") == null) {
            throw new IllegalStateException("LOCALAPPDATA is not set");
        }
        String judged = System.getProperty("bench.judged");
        if (judged != null) {
            Judged.read(judged);
        }
        System.load(System.getProperty("bench.library"));
    }

    private WinConsoleNative() {
    }

    public static native int getConsoleOutputCP();

    /** A class of its own, so that the floor without it loads nothing more to verify the floor's class. */
    private static final class Judged {
        static void read(String file) {
            try {
                for (Path path = Paths.get(file).toRealPath(); path != null; path = path.getParent()) {
                    if (Files.readAttributes(path, "unix:mode,uid,gid", NOFOLLOW_LINKS).size() != 3) {
                        throw new IllegalStateException("no owner and mode bits for " + path);
                    }
                }
            } catch (IOException e) {
                throw new UncheckedIOException(e);
            }
        }
    }
}
