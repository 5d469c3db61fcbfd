#!/usr/bin/env bash
# Runs the CI workflow's linux job here as its runner runs it, from the workflow's own lines: in a
# Debian 12 root made by debootstrap's minbase (as bare as the debian:12 image: no git, no locale,
# no $USER), holding the committed files of this checkout without .git (actions/checkout
# downloads a tarball where the container has no git), with the workspace and HOME owned by uid
# 1001 while the job runs as root, and only the capabilities Docker grants by default plus those
# the job's container options add. Each `run:` step runs as the runner runs it, with bash
# --noprofile --norc -eo pipefail from the workspace; setup-java is played by this machine's JDK
# of that version, and upload-artifact copies what it would upload into FOLDER/artifacts.
# It takes a while (a root to make, every package to install, the whole build and suite), so it is
# run by hand: after a change to the workflow, to what the suites need from the machine, or to
# where they keep their files.
# Usage: tools/ci-job.sh [FOLDER]   (default: a new folder under /var/tmp; FOLDER/job.log keeps
#                                    the log, and the root is removed at the end)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
workspace=/__w/tirk-console/tirk-console
# What Docker grants a container by default.
capabilities=chown,dac_override,fsetid,fowner,mknod,net_raw,setgid,setuid,setfcap,setpcap,net_bind_service,sys_chroot,kill,audit_write

if [ "${1:-}" = --in-namespace ]; then
    work=$2 root=$2/root
    # The devices, pseudo-terminals, /proc and /sys a container has.
    mount -t proc proc "$root/proc"
    mount -t sysfs -o ro sysfs "$root/sys"
    mount -t tmpfs -o mode=755 tmpfs "$root/dev"
    for device in null zero full random urandom tty; do
        touch "$root/dev/$device"
        mount --bind "/dev/$device" "$root/dev/$device"
    done
    mkdir "$root/dev/pts" "$root/dev/shm"
    mount -t devpts -o newinstance,ptmxmode=0666,mode=620 devpts "$root/dev/pts"
    mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
    ln -s pts/ptmx "$root/dev/ptmx"
    ln -s /proc/self/fd "$root/dev/fd"
    ln -s /proc/self/fd/0 "$root/dev/stdin"
    ln -s /proc/self/fd/1 "$root/dev/stdout"
    ln -s /proc/self/fd/2 "$root/dev/stderr"
    while read -r option; do
        case $option in
            --cap-add=*) capabilities+=,${option#--cap-add=} ;;
            --security-opt=apparmor=unconfined) echo "(no AppArmor here, so nothing to lift: $option)" ;;
            *) echo "ci-job.sh cannot play the container option $option"; exit 2 ;;
        esac
    done < <(tail -n +2 "$work/steps/container")
    env=(HOME=/github/home PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin CI=true
         GITHUB_ACTIONS=true "GITHUB_WORKSPACE=$workspace" RUNNER_TEMP=/__w/_temp RUNNER_OS=Linux RUNNER_ARCH=X64)
    status=success
    while IFS=$'\t' read -r number kind when a b c; do
        if [ "$status" != success ] && [ "$when" != always ]; then
            echo "== step $number ($kind): not run after a failed step"
            continue
        fi
        echo "== step $number ($kind${a:+: $a})"
        ok=true
        case $kind in
            checkout) ;;  # the files are in place
            setup-java)
                jdk=$(grep -l "^JAVA_VERSION=\"${b}[.\"]" /usr/lib/jvm/*/release 2>/dev/null | head -n 1)
                if [ "$a" != temurin ] || [ -z "$jdk" ]; then
                    echo "no $a JDK $b on this machine to play setup-java with"
                    ok=false
                else
                    tool=/__t/Java_Temurin-Hotspot_jdk/$b/x64
                    mkdir -p "$root$tool" && cp -a "$(dirname "$jdk")/." "$root$tool/"
                    env+=("JAVA_HOME_${b}_X64=$tool")
                    [ "$c" = true ] && env+=("JAVA_HOME=$tool") && env[1]="PATH=$tool/bin:${env[1]#PATH=}"
                fi ;;
            run)
                cp "$work/steps/$number.sh" "$root/__w/_temp/$number.sh"
                setpriv --bounding-set="-all,+${capabilities//,/,+}" --inh-caps=-all \
                    chroot "$root" /usr/bin/env -i -C "$workspace" "${env[@]}" \
                    bash --noprofile --norc -eo pipefail "/__w/_temp/$number.sh" </dev/null || ok=false ;;
            upload)
                mkdir -p "$work/artifacts/$a"
                # shellcheck disable=SC2086  # the path is a pattern
                found=$(cd "$root$workspace" && for path in $b; do [ ! -e "$path" ] || echo "$path"; done)
                if [ -z "$found" ]; then
                    echo "no files found at $b"
                    [ "$c" = error ] && ok=false
                else
                    # shellcheck disable=SC2086  # one path a line
                    (cd "$root$workspace" && cp -a --parents $found "$work/artifacts/$a/")
                fi ;;
        esac
        if $ok; then echo "== step $number: passed"; else echo "== step $number: FAILED"; status=failure; fi
    done <"$work/steps/steps"
    if [ "$status" != success ]; then echo "the linux job FAILED"; exit 1; fi
    echo "the linux job passed"
    exit 0
fi

[ "$(id -u)" -eq 0 ] || { echo "ci-job.sh runs as root: it makes a root file system and enters it" >&2; exit 2; }
# shellcheck disable=SC1091  # sourced from the checkout
. "$here/tools/ensure-packages.sh"
ensure_packages debootstrap python3-yaml util-linux git
work=$(realpath -m "${1:-$(mktemp -d /var/tmp/ci-job.XXXXXX)}")
root=$work/root
mkdir -p "$work/steps"
cleanup() {
    [ ! -e "$root" ] || chattr -R -i "$root" 2>/dev/null || true
    rm -rf "$root"
}
trap cleanup EXIT
cleanup
/usr/bin/python3 "$here/tools/workflow.py" linux-job "$here/.github/workflows/ci.yml" "$work/steps"
image=$(head -n 1 "$work/steps/container")
[ "$image" = debian:12 ] || { echo "ci-job.sh plays a debian:12 container, not $image" >&2; exit 2; }

{
    echo "== a debian:12 root (debootstrap --variant=minbase bookworm)"
    debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian >"$work/debootstrap.log" 2>&1 ||
        { tail -n 20 "$work/debootstrap.log"; exit 1; }
    # The image's sources, and no apt lists: it installs nothing before `apt-get update`.
    rm -f "$root/etc/apt/sources.list"
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    # This machine's own certificate authorities, which a network that inspects TLS needs (a runner
    # has none): ca-certificates takes them in when the job installs it.
    mkdir -p "$root/usr/local/share/ca-certificates"
    cp /usr/local/share/ca-certificates/*.crt "$root/usr/local/share/ca-certificates/" 2>/dev/null || true
    cat >"$root/etc/apt/sources.list.d/debian.sources" <<'SOURCES'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    rm -rf "$root"/var/lib/apt/lists/*
    echo "== the checkout: $(git -C "$here" rev-parse HEAD) without .git, owned by uid 1001 as HOME is"
    mkdir -p "$root$workspace" "$root/github/home" "$root/__w/_temp" "$root/__t"
    git -C "$here" archive --format=tar HEAD | tar -x -C "$root$workspace"
    chown -R 1001:1001 "$root/__w" "$root/github" "$root/__t"
    unshare --mount --pid --fork --propagation private "$here/tools/ci-job.sh" --in-namespace "$work"
} 2>&1 | tee "$work/job.log"
