package org.tirk.probe;

import org.w3c.dom.Element;
import org.w3c.dom.NodeList;

import java.io.File;
import java.io.FileDescriptor;
import java.io.FileOutputStream;
import java.io.PrintStream;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import javax.xml.parsers.DocumentBuilderFactory;

/**
 * Writes the cases of JUnit's XML report as check lines in UTF-8, one a case: "ok NAME", "FAILED
 * NAME: WHY" or "skipped NAME: WHY", NAME being the class's simple name, the method and, for a
 * dynamic test, its display name. The Windows jobs' scripts add them to their report, so that the
 * job's log says which cases were skipped and why. Java 8, as every JVM a job runs has to run it.
 *
 * <p>Usage: JUnitLines TEST-junit-jupiter.xml
 */
public final class JUnitLines {

    private static final Pattern DISPLAY_NAME = Pattern.compile("^display-name: (.*)$", Pattern.MULTILINE);

    private JUnitLines() {
    }

    public static void main(String[] arguments) throws Exception {
        PrintStream out = new PrintStream(new FileOutputStream(FileDescriptor.out), true, "UTF-8");
        NodeList cases = DocumentBuilderFactory.newInstance().newDocumentBuilder().parse(new File(arguments[0]))
                .getElementsByTagName("testcase");
        for (int i = 0; i < cases.getLength(); i++) {
            Element testCase = (Element) cases.item(i);
            String className = testCase.getAttribute("classname"), method = testCase.getAttribute("name");
            String name = className.substring(className.lastIndexOf('.') + 1) + " " + method;
            Matcher shown = DISPLAY_NAME.matcher(text(testCase, "system-out"));
            if (method.endsWith("]") && shown.find()) {
                name += " " + shown.group(1);
            }
            Element failure = child(testCase, "failure") != null ? child(testCase, "failure") : child(testCase, "error");
            Element skipped = child(testCase, "skipped");
            if (skipped != null) {
                out.println("skipped " + name + ": " + firstLine(reason(skipped)).replaceFirst("^.*Assumption failed: ", ""));
            } else if (failure != null) {
                out.println("FAILED " + name + ": " + firstLine(failure.getAttribute("message").isEmpty() ? "failed"
                        : failure.getAttribute("message")));
            } else {
                out.println("ok " + name);
            }
        }
    }

    private static Element child(Element parent, String tag) {
        NodeList found = parent.getElementsByTagName(tag);
        return found.getLength() == 0 ? null : (Element) found.item(0);
    }

    private static String text(Element parent, String tag) {
        Element found = child(parent, tag);
        return found == null ? "" : found.getTextContent();
    }

    private static String reason(Element skipped) {
        return skipped.getAttribute("message").isEmpty() ? skipped.getTextContent().trim() : skipped.getAttribute("message");
    }

    private static String firstLine(String text) {
        return text.split("\\R", 2)[0];
    }
}
