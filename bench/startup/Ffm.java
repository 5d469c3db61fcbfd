import java.lang.foreign.Arena;
import java.lang.foreign.FunctionDescriptor;
import java.lang.foreign.Linker;
import java.lang.foreign.SymbolLookup;
import java.lang.foreign.ValueLayout;
import java.lang.invoke.MethodHandle;
import java.nio.file.Path;

/** OneCall through an FFM downcall to the stand-in's GetConsoleOutputCP (Java 22 and later). */
public final class Ffm {
    public static void main(String[] args) throws Throwable {
        MethodHandle codePage = Linker.nativeLinker().downcallHandle(
                SymbolLookup.libraryLookup(Path.of(System.getProperty("bench.library")), Arena.global())
                        .find("GetConsoleOutputCP").orElseThrow(),
                FunctionDescriptor.of(ValueLayout.JAVA_INT));
        System.out.println("loaded " + (int) codePage.invokeExact());
    }
}
