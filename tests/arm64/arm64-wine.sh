#!/usr/bin/env bash
# Prepares Debian's arm64 Wine to run ARM64 Windows programs on this x86-64 machine under
# qemu user-mode emulation, without touching the system's own (amd64) Wine: the arm64
# packages are downloaded with a private apt configuration and unpacked into a sysroot.
# Everything lives under CACHE (a build folder) and is reused while Wine's version stays.
#
# Usage: arm64-wine.sh CACHE
# Prints the folder that holds the sysroot and the Wine prefix. Its sysroot/usr/lib/wine/wine64
# and wineserver are the commands to use: they run under qemu with that prefix, and with
# Wine's messages off unless WINEDEBUG says otherwise.
set -euo pipefail
cache=$(realpath -m "$1")
mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9

if [ -f "$cache/current" ] && [ -f "$(cat "$cache/current")/ready" ]; then
    cat "$cache/current"
    exit 0
fi

qemu=$(command -v qemu-aarch64-static) || { echo "qemu-aarch64-static not found; install qemu-user-static" >&2; exit 1; }

# A private apt: arm64 only, its own state and cache, the system's Debian sources and keys.
apt=$cache/apt
mkdir -p "$apt/state/lists/partial" "$apt/cache/archives/partial" "$apt/sources.list.d"
: >"$apt/state/status"
cp /etc/apt/sources.list.d/*.sources "$apt/sources.list.d/" 2>/dev/null || true
cp /etc/apt/sources.list "$apt/sources.list" 2>/dev/null || : >"$apt/sources.list"
cat >"$apt/apt.conf" <<CONF
APT::Architecture "arm64";
APT::Architectures { "arm64"; };
Dir::State "$apt/state";
Dir::State::status "$apt/state/status";
Dir::Cache "$apt/cache";
Dir::Cache::pkgcache "";
Dir::Cache::srcpkgcache "";
Dir::Etc::SourceList "$apt/sources.list";
Dir::Etc::SourceParts "$apt/sources.list.d";
APT::Get::Download-Only "true";
APT::Install-Recommends "false";
Debug::NoLocking "true";
CONF
export APT_CONFIG=$apt/apt.conf
apt-get -q update >&2
version=$(apt-cache policy wine64 | awk '/Candidate:/ { print $2 }')
[ -n "$version" ] && [ "$version" != "(none)" ] || { echo "no arm64 wine64 package found" >&2; exit 1; }
apt-get -q -y install wine64 >&2

root=$cache/wine-${version//[^A-Za-z0-9.+-]/_}
rm -rf "$root"
mkdir -p "$root/sysroot"
for deb in "$apt"/cache/archives/*.deb; do
    dpkg-deb -x "$deb" "$root/sysroot"
done
rm -f "$apt"/cache/archives/*.deb

# Without binfmt_misc the kernel cannot start arm64 programs, so Wine could not start its own
# helpers (wineboot, services, conhost): it re-executes dirname(/proc/self/exe)/basename(argv[0]).
# The arm64 loader is renamed, and a wrapper in its place runs it under qemu with argv[0]
# pointing back at the wrapper. The wineserver runs under qemu the same way.
wine=$root/sysroot/usr/lib/wine
settings="export WINEPREFIX=$root/prefix WINESERVER=$wine/wineserver \\
    WINEDEBUG=\"\${WINEDEBUG:--all}\" WINEDLLOVERRIDES=\"\${WINEDLLOVERRIDES:-mscoree,mshtml=}\""
mv "$wine/wine64" "$wine/wine64.aarch64"
cat >"$wine/wine64" <<WRAPPER
#!/bin/sh
$settings
WINELOADERNOEXEC=1 exec $qemu -0 "\$0" -L $root/sysroot $wine/wine64.aarch64 "\$@"
WRAPPER
cat >"$wine/wineserver" <<WRAPPER
#!/bin/sh
$settings
exec $qemu -L $root/sysroot $wine/wineserver64 "\$@"
WRAPPER
chmod +x "$wine/wine64" "$wine/wineserver"

timeout 300 "$wine/wine64" wineboot --init >&2
timeout 60 "$wine/wineserver" -w
touch "$root/ready"
echo "$root" >"$cache/current"
echo "$root"
