"""Runs a program the way a terminal runs it: in a pseudo-terminal of its own, which under Wine
gives it a working console, and types into it as a user would. The terminal's own output is
drained all along, so that the console never blocks writing to it."""
import os
import pty
import threading
import time


def run(argv, env, output_path, keys=(), ready="", deadline=300, on_terminal=False):
    """Runs argv[0] (looked up on PATH) with its standard output and error going to the file
    `output_path`, until it ends or `deadline` seconds pass (then it is killed); with
    `on_terminal`, they go to the terminal instead, and what it shows goes to that file. Once
    `ready` appears in that file, types each of `keys` in a write of its own, as a terminal sends
    a key. Returns the exit status and whether the keys were typed."""
    open(output_path, "w").close()
    pid, master = pty.fork()
    if pid == 0:
        if not on_terminal:
            output = os.open(output_path, os.O_WRONLY)
            os.dup2(output, 1)
            os.dup2(output, 2)
        os.execvpe(argv[0], argv, env)

    def drain():
        try:
            with open(output_path, "ab", buffering=0) as shown:
                while True:
                    chunk = os.read(master, 4096)
                    if not chunk:
                        break
                    if on_terminal:
                        shown.write(chunk)
        except OSError:
            pass

    drainer = threading.Thread(target=drain, daemon=True)
    drainer.start()
    end = time.time() + deadline
    typed = not keys
    while True:
        finished, status = os.waitpid(pid, os.WNOHANG)
        if finished:
            break
        if time.time() > end:
            os.kill(pid, 9)
            _, status = os.waitpid(pid, 0)
            break
        if not typed and ready in open(output_path, errors="replace").read():
            for key in keys:
                time.sleep(0.4)
                os.write(master, key)
            typed = True
        time.sleep(0.1)
    if on_terminal:
        drainer.join(5)  # what the terminal still has to show
    os.close(master)
    return os.waitstatus_to_exitcode(status), typed
