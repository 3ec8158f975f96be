#!/usr/bin/env bash
# Builds korvex.exe and korvex-cli.exe for 64-bit Windows with MinGW-w64 (the windows preset, in
# build-windows/), runs their tests under Wine and makes the release archive
# build-windows/korvex-<version>-windows-x64.zip and the installer korvex-<version>-windows-x64.msi.
#
# One test compares the Windows build with the Linux build of the same sources. It uses
# $KORVEX_LINUX_CLI when set, else build/bin/korvex-cli, which is built first (only that program of
# the default preset). KORVEX_SKIP_SETUP=1 leaves out scripts/setup.sh (run-tests.sh has run it).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

jobs="${KORVEX_JOBS:-2}"

if [ "${KORVEX_SKIP_SETUP:-0}" != 1 ]; then
    bash scripts/setup.sh
fi

linux_cli="${KORVEX_LINUX_CLI:-}"
if [ -z "$linux_cli" ]; then
    echo "==> windows: the Linux korvex-cli to compare with"
    cmake --preset default >/dev/null
    cmake --build --preset default -j "$jobs" --target korvex-cli
    linux_cli="$PWD/build/bin/korvex-cli"
fi

echo "==> windows: configure"
cmake --preset windows -DKORVEX_LINUX_CLI="$linux_cli"
echo "==> windows: build"
cmake --build --preset windows -j "$jobs"
echo "==> windows: test under Wine"
# The first start of Wine makes its prefix (~/.wine) and says so on standard error; done here, so
# that no test, which may compare standard error, pays for it.
build-windows/tests/run-korvex-cli --version >/dev/null 2>&1
ctest --preset windows
echo "==> windows: $(ls build-windows/korvex-*-windows-x64.zip)"
echo "==> windows: $(ls build-windows/korvex-*-windows-x64.msi)"
