package org.tirk.probe;

import org.tirk.terminal.tty.impl.WinConsoleNative;

import java.io.File;
import java.io.IOException;
import java.lang.ref.WeakReference;
import java.lang.reflect.InvocationTargetException;
import java.net.URL;
import java.net.URLClassLoader;
import java.util.ArrayList;
import java.util.List;

/**
 * Run in a JVM of its own: loads the library and prints "loaded CODEPAGE" or "error: MESSAGE".
 * It lives outside the library's package so that it can also run beside the library's named
 * module, which owns that package.
 *
 * <p>Arguments: none, to load it once; "hold", to stay alive with it loaded until standard input
 * ends; "loaders N JAR", to load it in N class loaders of JAR that are all alive at once, one
 * line each; "collected JAR", to load it in a class loader of JAR, let that loader be collected,
 * and load it in a new one. PROBE_PROPERTY=NAME=VALUE in the environment sets a system property.
 */
public final class LoadProbe {

    private LoadProbe() {
    }

    public static void main(String[] args) throws Exception {
        // The Windows launcher reads its arguments in the ANSI code page, so a property whose
        // value that lacks comes as NAME=VALUE in the environment, which Java reads in UTF-16.
        String property = System.getenv("PROBE_PROPERTY");
        if (property != null) {
            System.setProperty(property.substring(0, property.indexOf('=')), property.substring(property.indexOf('=') + 1));
        }
        if (args.length == 0 || args[0].equals("hold")) {
            System.out.println(callFrom(LoadProbe.class.getClassLoader()));
            System.out.flush();
            while (args.length > 0 && System.in.read() >= 0) {
                // holding the library loaded
            }
        } else if (args[0].equals("loaders")) {
            List<ClassLoader> alive = new ArrayList<>();
            for (int i = 0; i < Integer.parseInt(args[1]); i++) {
                alive.add(loaderOf(args[2]));
                System.out.println(callFrom(alive.get(i)));
            }
        } else {
            WeakReference<ClassLoader> first = new WeakReference<>(loaderOf(args[1]));
            System.out.println(callFrom(first.get()));
            for (int i = 0; i < 500 && first.get() != null; i++) {
                System.gc();
                Thread.sleep(10);
            }
            System.out.println(first.get() == null ? "collected" : "not collected");
            System.out.println(callFrom(loaderOf(args[1])));
        }
    }

    /** The code page as WinConsoleNative loaded by `loader` reports it. */
    private static String callFrom(ClassLoader loader) {
        try {
            Class<?> natives = Class.forName(WinConsoleNative.class.getName(), true, loader);
            return "loaded " + natives.getMethod("getConsoleOutputCP").invoke(null);
        } catch (InvocationTargetException e) {
            return "error: " + e.getCause().getMessage();
        } catch (Throwable e) {
            return "error: " + e.getMessage();
        }
    }

    /**
     * A class loader of its own over the jar, which does not ask the class path first: its parent
     * is the class path loader's (Java 8's extension loader, the platform loader after it).
     */
    private static ClassLoader loaderOf(String jar) throws IOException {
        ClassLoader aboveTheClassPath = ClassLoader.getSystemClassLoader().getParent();
        return new URLClassLoader(new URL[] {new File(jar).toURI().toURL()}, aboveTheClassPath);
    }
}
