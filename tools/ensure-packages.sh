# Sourced by the top-level scripts: ensure_packages PACKAGE... installs the Debian packages
# that are missing (as root: one apt-get update, then apt-get install), or, when not root,
# stops with the exact command to run; build_presets PRESET... configures and builds each.
ensure_packages() {
    local missing=() package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing Debian packages. Run:" >&2
        echo "  sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
    echo "Installing ${missing[*]}" >&2
    if [ -z "${TIRK_APT_UPDATED:-}" ]; then
        DEBIAN_FRONTEND=noninteractive apt-get update -q >&2
        export TIRK_APT_UPDATED=1
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" >&2
}

build_presets() {
    local preset
    for preset in "$@"; do
        cmake --preset "$preset" >/dev/null
        cmake --build --preset "$preset" -j"$(nproc)"
    done
}

# What building the DLLs, the jar and the Maven repository needs: mingw-w64 for x86-64; clang,
# lld and llvm-dlltool with the mingw-w64 headers for ARM64; Python to mend a section flag that
# GNU ld sets; osslsigncode and OpenSSL for Authenticode signatures.
BUILD_PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix openjdk-17-jdk-headless googletest
    clang-14 lld-14 llvm-14 mingw-w64-common python3 osslsigncode openssl)
# What the test suites need on top: the host compiler, Wine (and qemu to run arm64 Wine, which
# the ARM64 suite downloads itself), the scripts' Python with pefile and PyYAML (which reads the
# workflow whose Windows steps the Wine suites run), and pip to fetch the Windows
# JVM, GnuPG for the signed release, hyperfine for the start-up benchmark, and Maven with the
# Debian plugins the consumer project uses (junit5 because the compiler plugin's POM imports its BOM);
# shellcheck for actionlint, and curl and unzip to fetch the Go that builds it where none is installed;
# chattr (e2fsprogs) for the loader's folders that cannot be written.
TEST_PACKAGES=("${BUILD_PACKAGES[@]}" g++ wine64 wine qemu-user-static python3 python3-pefile python3-yaml python3-pip gnupg hyperfine junit5 libjna-java
    valgrind clang clang-tidy libclang-rt-14-dev maven libmaven-compiler-plugin-java libmaven-resources-plugin-java
    libexec-maven-plugin-java shellcheck curl unzip e2fsprogs)
