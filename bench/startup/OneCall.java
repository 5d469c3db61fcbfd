import org.tirk.terminal.tty.impl.WinConsoleNative;

/** The program the start-up benchmark times: one call into tirk-console, then its answer. */
public final class OneCall {
    public static void main(String[] args) {
        System.out.println("loaded " + WinConsoleNative.getConsoleOutputCP());
    }
}
