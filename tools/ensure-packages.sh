# Sourced by build.sh and test.sh: ensure_packages PACKAGE... installs the Debian packages
# that are missing (as root: one apt-get update, then apt-get install), or, when not root,
# stops with the exact command to run.
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

# What building the DLL and the jar needs.
BUILD_PACKAGES=(cmake make g++-mingw-w64-x86-64-posix openjdk-17-jdk-headless googletest)
# What the test suites need on top: the host compiler, Wine and the scripts' Python.
TEST_PACKAGES=("${BUILD_PACKAGES[@]}" g++ wine64 wine python3 junit5 libjna-java valgrind
    clang clang-tidy libclang-rt-14-dev)
