#!/usr/bin/env bash
# Sets up the machine, checks the formatting, then configures, builds and tests both presets:
# default (RelWithDebInfo) and asan (Debug with AddressSanitizer and UndefinedBehaviorSanitizer).
# Then builds the desktop programs' core ui/ without Qt and runs its tests (the core preset).
# Then cross-builds the Windows program (the windows preset), tests it under Wine and makes its
# release archive (scripts/windows.sh). Then builds the fuzz targets with clang and runs each for
# KORVEX_FUZZ_SECONDS (default 45).
# Stops at the first failure with a non-zero exit status.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

jobs="${KORVEX_JOBS:-2}"

bash scripts/setup.sh

echo "==> clang-format check"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    list_sources() { git ls-files -z -- '*.h' '*.cpp'; }
else
    list_sources() {
        find . \( -path ./build -o -path './build-*' -o -path ./out -o -path ./.git \) -prune -o \
            \( -name '*.h' -o -name '*.cpp' \) -print0
    }
fi
if ! list_sources | xargs -0 -r clang-format --dry-run --Werror; then
    echo "==> clang-format check failed: run clang-format -i on the files named above" >&2
    exit 1
fi

for preset in default asan; do
    echo "==> $preset: configure"
    cmake --preset "$preset"
    echo "==> $preset: build"
    cmake --build --preset "$preset" -j "$jobs"
    echo "==> $preset: test"
    ctest --preset "$preset"
done

echo "==> core: ui/ builds and passes its tests without Qt"
if grep -rn '#include <Q' ui/; then
    echo "==> ui/ must not include Qt" >&2
    exit 1
fi
cmake --preset core
cmake --build --preset core -j "$jobs"
build-core/tests/ui_tests --gtest_brief=1

echo "==> windows: build, test under Wine, release archive"
KORVEX_SKIP_SETUP=1 KORVEX_LINUX_CLI="$PWD/build/bin/korvex-cli" bash scripts/windows.sh

echo "==> fuzz: each target for ${KORVEX_FUZZ_SECONDS:-45} s"
bash scripts/fuzz.sh "${KORVEX_FUZZ_SECONDS:-45}"

echo "==> all checks passed"
