#!/usr/bin/env python3
"""Types real keystrokes into the pseudo-terminal that typed_reader.exe runs in under Wine,
and checks the key records it reads back through the bridge.

Usage: typed_input_test.py typed_reader.exe tirk-console.dll REPORT.xml
"""
import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from junit import Report  # noqa: E402
from pseudo_terminal import spawn  # noqa: E402

KEY, SHIFT_PRESSED = 1, 0x10
VK_A, VK_UP, VK_RETURN = 0x41, 0x26, 0x0D

# Each sequence goes to the terminal in a single write, as a terminal sends a key.
TYPED = [b"a", b"A", b"\x1b[A", "\u00e9".encode(), "\U0001F600".encode(), b"\r"]


def run_reader(reader, dll, results):
    env = dict(os.environ, WINEDEBUG="-all", LC_ALL="C.UTF-8")
    env.setdefault("WINEPREFIX", os.path.join(os.getcwd(), "wineprefix"))
    pid, master = spawn(["wine", reader, dll, results], env)
    deadline = time.time() + 60
    while time.time() < deadline and not (os.path.exists(results) and open(results).read().startswith("ready")):
        time.sleep(0.1)
    time.sleep(0.3)
    for keys in TYPED:
        os.write(master, keys)
        time.sleep(0.3)
    _, status = os.waitpid(pid, 0)
    os.close(master)
    return os.waitstatus_to_exitcode(status)


def main(reader, dll, report_path):
    report = Report("typed_input")
    with tempfile.TemporaryDirectory() as folder:
        results = os.path.join(folder, "events.txt")
        status = run_reader(reader, dll, results)
        report.check("reader ran to its end", status == 0, f"exit status {status}")
        lines = open(results).read().split("\n") if os.path.exists(results) else []
    events = [list(map(int, line.split())) for line in lines[1:] if line.strip()]
    keys = [e for e in events if e[0] == KEY]
    downs = [e for e in keys if e[1] == 1]
    print("events read:", events)

    report.check("every key event has six elements", keys != [] and all(len(e) == 6 for e in keys), str(keys))
    report.check("key down and key up both arrive", any(e[1] == 0 for e in keys) and downs != [])
    chars = [e[4] for e in downs if e[4] != 0]
    report.check("a: vk 0x41, character 'a'", any(e[3] == VK_A and e[4] == ord("a") for e in downs))
    report.check("A: vk 0x41 with Shift, character 'A'",
                 any(e[3] == VK_A and e[4] == ord("A") and e[5] & SHIFT_PRESSED for e in downs))
    report.check("Up: vk 0x26 with no character", any(e[3] == VK_UP and e[4] == 0 for e in downs))
    report.check("e acute: character 0xE9", 0xE9 in chars)
    emoji = [0xD83D, 0xDE00]
    report.check("emoji: two positive surrogate halves in order",
                 any(chars[i:i + 2] == emoji for i in range(len(chars))), str(chars))
    report.check("Enter: vk 0x0D", any(e[3] == VK_RETURN for e in downs))
    report.check("characters arrive in typing order",
                 [c for c in chars if c in (ord("a"), ord("A"), 0xE9, 0xD83D, 13)] == [ord("a"), ord("A"), 0xE9, 0xD83D, 13],
                 str(chars))
    report.finish(report_path)


if __name__ == "__main__":
    main(*sys.argv[1:])
