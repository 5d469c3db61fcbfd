import com.sun.jna.Library;
import com.sun.jna.Native;

/** OneCall through JNA's interface mapping of the stand-in's GetConsoleOutputCP. */
public final class JnaInterface {
    public interface Console extends Library {
        int GetConsoleOutputCP();
    }

    public static void main(String[] args) {
        Console console = Native.load(System.getProperty("bench.library"), Console.class);
        System.out.println("loaded " + console.GetConsoleOutputCP());
    }
}
