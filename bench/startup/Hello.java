/** The floor of the start-up benchmark: a JVM that starts, prints one line and ends. */
public final class Hello {
    public static void main(String[] args) {
        System.out.println("loaded 65001");
    }
}
