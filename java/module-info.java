/**
 * Direct access to the Windows console through the native library tirk-console: console
 * handles, key, mouse and window-resize events, UTF-16 output, the window size, console modes,
 * the output code page, and attaching or detaching a console. See
 * {@link org.tirk.terminal.tty.impl.WinConsoleNative}.
 *
 * <p>On Java 24 and later, loading the library is a restricted operation: grant it with
 * {@code --enable-native-access=org.tirk.terminal.console} when this module is on the module
 * path, or {@code --enable-native-access=ALL-UNNAMED} on the class path.
 */
module org.tirk.terminal.console {
    exports org.tirk.terminal.tty.impl;
}
