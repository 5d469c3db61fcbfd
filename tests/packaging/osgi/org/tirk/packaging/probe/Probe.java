package org.tirk.packaging.probe;

import org.osgi.framework.BundleActivator;
import org.osgi.framework.BundleContext;
import org.tirk.terminal.tty.impl.WinConsoleNative;

/** A bundle that imports tirk-console's package and, once started, prints "loaded CODEPAGE" or "error: MESSAGE". */
public final class Probe implements BundleActivator {

    @Override
    public void start(BundleContext context) {
        try {
            System.out.println("loaded " + WinConsoleNative.getConsoleOutputCP());
        } catch (UnsatisfiedLinkError e) {
            System.out.println("error: " + e.getMessage());
        }
    }

    @Override
    public void stop(BundleContext context) {
    }
}
