package org.tirk.packaging;

import org.osgi.framework.Bundle;
import org.osgi.framework.launch.Framework;
import org.osgi.framework.launch.FrameworkFactory;

import java.io.File;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.ServiceLoader;

/**
 * Starts the OSGi framework on the class path with its bundle cache in STORAGE, installs each
 * BUNDLE (a jar file), starts them in turn and stops the framework.
 *
 * <p>Usage: OsgiLaunch STORAGE BUNDLE...
 */
public final class OsgiLaunch {

    private OsgiLaunch() {
    }

    public static void main(String[] args) throws Exception {
        Map<String, String> configuration = new HashMap<>();
        configuration.put("org.osgi.framework.storage", args[0]);
        configuration.put("org.osgi.framework.storage.clean", "onFirstInit");
        Framework framework = ServiceLoader.load(FrameworkFactory.class).iterator().next().newFramework(configuration);
        framework.start();
        try {
            List<Bundle> bundles = new ArrayList<>();
            for (int i = 1; i < args.length; i++) {
                bundles.add(framework.getBundleContext().installBundle(new File(args[i]).toURI().toString()));
            }
            for (Bundle bundle : bundles) {
                bundle.start();
            }
        } finally {
            framework.stop();
            framework.waitForStop(10_000);
        }
    }
}
