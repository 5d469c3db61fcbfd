package org.tirk.terminal.tty.impl;

import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

import java.io.ByteArrayOutputStream;
import java.io.PrintStream;
import java.io.UnsupportedEncodingException;
import java.util.Arrays;
import java.util.List;
import java.util.stream.Collectors;

import static org.junit.jupiter.api.Assertions.*;

class DemoTest {

    ByteArrayOutputStream printed = new ByteArrayOutputStream();

    @BeforeEach
    void resetConsole() {
        StandIn.reset();
    }

    List<String> run(int expectedStatus) throws UnsupportedEncodingException {
        assertEquals(expectedStatus, WinConsoleDemo.run(new PrintStream(printed, true, "UTF-8")));
        return Arrays.asList(printed.toString("UTF-8").split("\\R"));
    }

    List<String> modeChanges() {
        return StandIn.callLog().stream().filter(call -> call.startsWith("SetConsoleMode")).collect(Collectors.toList());
    }

    @Test
    void printsEachEventUntilQAndRestoresTheMode() throws Exception {
        StandIn.setStdHandle(0x44);
        StandIn.setMode(0x1F7);
        StandIn.setWindow((short) 0, (short) 0, (short) 119, (short) 29);
        StandIn.setCodePage(437);
        StandIn.queueKey(1, 1, 0x41, 'a', 0);
        StandIn.queueOther(0x10);
        StandIn.queueMouse((short) 5, (short) 6, 1, 0, 0);
        StandIn.queueResize((short) 100, (short) 40);
        StandIn.queueKey(1, 1, 0x51, 'q', 0);
        StandIn.queueKey(1, 1, 0x42, 'b', 0);
        assertEquals(Arrays.asList(
                "Window: 120 columns, 30 rows",
                "Output code page: 437",
                "Press keys, move or click the mouse, resize the window; 'q' quits.",
                "key down vk=0x41 char=U+0061 repeat=1 state=0x0",
                "mouse at 5,6 buttons=0x1 state=0x0 flags=0x0",
                "resize to 100 columns, 40 rows",
                "key down vk=0x51 char=U+0071 repeat=1 state=0x0"), run(0));
        // Line input, echo and processed input off, window and mouse input on; then the saved mode.
        assertEquals(Arrays.asList("SetConsoleMode(0x44, 0x1f8)", "SetConsoleMode(0x44, 0x1f7)"), modeChanges());
        assertEquals(1, StandIn.pending());
    }

    @Test
    void restoresTheModeWhenReadingFails() throws Exception {
        StandIn.setStdHandle(0x44);
        StandIn.setMode(0x7);
        StandIn.setWaitResult(WinConsoleNative.WAIT_FAILED);
        List<String> lines = run(1);
        assertEquals("Press keys, move or click the mouse, resize the window; 'q' quits.", lines.get(lines.size() - 1));
        assertEquals(Arrays.asList("SetConsoleMode(0x44, 0x98)", "SetConsoleMode(0x44, 0x7)"), modeChanges());
    }

    @Test
    void saysSoWhenInputIsNotAConsole() throws Exception {
        StandIn.setResult(0);
        assertTrue(run(1).contains("Standard input is not a console."));
        assertEquals(Arrays.asList(), modeChanges());
    }
}
