import com.sun.jna.Native;
import com.sun.jna.NativeLibrary;

/** OneCall through JNA's direct mapping of the stand-in's GetConsoleOutputCP. */
public final class JnaDirect {
    static {
        Native.register(JnaDirect.class, NativeLibrary.getInstance(System.getProperty("bench.library")));
    }

    static native int GetConsoleOutputCP();

    public static void main(String[] args) {
        System.out.println("loaded " + GetConsoleOutputCP());
    }
}
