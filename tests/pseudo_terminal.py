"""Starts a program the way a terminal runs it: in a pseudo-terminal of its own, which under
Wine gives it a working console. The terminal's output is drained all along, so that the
console never blocks writing to it."""
import os
import pty
import threading


def spawn(argv, env, stderr_path=None):
    """Starts argv[0] (looked up on PATH) in a new pseudo-terminal; returns its pid and the
    terminal's master end, to type into. With stderr_path, the program's standard error goes
    to that file rather than to the terminal."""
    pid, master = pty.fork()
    if pid == 0:
        if stderr_path is not None:
            os.dup2(os.open(stderr_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC), 2)
        os.execvpe(argv[0], argv, env)

    def drain():
        try:
            while os.read(master, 4096):
                pass
        except OSError:
            pass

    threading.Thread(target=drain, daemon=True).start()
    return pid, master
