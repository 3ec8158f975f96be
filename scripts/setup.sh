#!/usr/bin/env bash
# Installs the packages that building and testing Korvex need, on Debian 12, and only those that
# are missing: a machine that has them all is left alone and needs no network.
set -euo pipefail

packages=(
    cmake          # 3.25 or later, for the presets
    ninja-build    # the generator of the presets
    g++            # C++20; brings the address and undefined-behaviour sanitizer libraries
    libgtest-dev   # GoogleTest
    libgmock-dev   # GoogleMock
    libfast-float-dev  # reads decimal numbers exactly as strtof does, faster
    libcli11-dev       # korvex-cli's table of commands and options (header-only)
    nlohmann-json3-dev # the JSON that korvex-cli writes (header-only)
    bash-completion    # the .deb's completion of korvex-cli is tested against it
    libbenchmark-dev   # Google Benchmark, for the micro benchmarks korvex-microbench
    time           # /usr/bin/time -v, for the peak memory that scripts/bench.sh reports
    clang-format   # the formatting check of scripts/run-tests.sh
    clang          # builds the fuzz targets of fuzz/ with libFuzzer (scripts/fuzz.sh)
    libclang-rt-14-dev  # libFuzzer and clang's sanitizer run-times
    git            # lists the files that the formatting check reads
    locales        # a decimal-comma locale, to test that numbers never follow the locale
    qt6-base-dev   # Qt 6 Widgets and Qt Test, for the desktop program korvex
    libqt6svg6     # draws the program's SVG icons
    fonts-dejavu-core  # a font for the windows that the GUI tests draw off screen
    dpkg-dev       # dpkg-shlibdeps: the package test checks the Depends against what is linked
    g++-mingw-w64-x86-64-posix  # cross-builds korvex-cli.exe for 64-bit Windows (windows preset)
    binutils-mingw-w64-x86-64   # objdump: the archive test checks which DLLs the program needs
    googletest     # GoogleTest's sources, built with MinGW-w64 for the Windows tests
    wine           # runs the Windows tests
    wine64         # the 64-bit half of Wine, which runs korvex-cli.exe
    xvfb           # a virtual display, on which the Windows desktop program's test runs under Wine
    xauth          # xvfb-run needs it
    x11-utils      # xwininfo: the installer test waits for korvex.exe's window with it
    wixl           # builds the Windows installer (.msi) from packaging/korvex.wxs
)

if ! command -v dpkg >/dev/null 2>&1 || ! command -v apt-get >/dev/null 2>&1; then
    echo "setup: this is not a Debian system; install these yourself: ${packages[*]}" >&2
    exit 0
fi

missing=()
for package in "${packages[@]}"; do
    # A removed package can leave a status entry behind, so look for "install ok installed".
    if ! dpkg -s "$package" 2>/dev/null | grep -q '^Status: install ok installed'; then
        missing+=("$package")
    fi
done

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
        echo "setup: run as root or install sudo; missing packages: ${missing[*]}" >&2
        exit 1
    fi
    sudo=(sudo)
fi

if [ "${#missing[@]}" -eq 0 ]; then
    echo "setup: all needed packages are installed"
else
    echo "setup: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
        "${missing[@]}"
fi

# The tests read numbers under a German locale, whose decimal separator is a comma.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    echo "setup: generating the de_DE.UTF-8 locale"
    "${sudo[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "setup: no de_DE locale" >&2
fi
