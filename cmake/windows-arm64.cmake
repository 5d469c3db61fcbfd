# tirk-console.dll for Windows on ARM64, proven by a runtime-free driver under Debian's arm64
# Wine, emulated by qemu.
