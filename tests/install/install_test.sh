#!/usr/bin/env bash
# Installs the build tree into a fresh prefix and checks that exactly the expected files are there
# and usable: the programs, the manual page and, when the desktop program was built, its desktop
# entry and icons.
# Usage: install_test.sh CMAKE BUILD_DIR HAS_GUI VERSION
set -euo pipefail
cmake="$1"
build="$2"
has_gui="$3"
version="$4"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT

fail() {
    echo "install_test: $*" >&2
    exit 1
}

"$cmake" --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 || {
    cat "$prefix.log"
    rm -f "$prefix.log"
    fail "cmake --install failed"
}
rm -f "$prefix.log"

sizes=(16 32 48 64 128 256)
man_page=share/man/man1/korvex-cli.1
if command -v gzip >/dev/null 2>&1; then
    man_page+=.gz
fi
expected=(bin/korvex-cli "$man_page" share/bash-completion/completions/korvex-cli)
if [ "$has_gui" = 1 ]; then
    expected+=(bin/korvex share/applications/korvex.desktop
        share/icons/hicolor/scalable/apps/korvex.svg)
    for size in "${sizes[@]}"; do
        expected+=("share/icons/hicolor/${size}x${size}/apps/korvex.png")
    done
fi

# Nothing missing and nothing extra, such as a test program or a static library.
installed="$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort)"
wanted="$(printf '%s\n' "${expected[@]}" | sort)"
if [ "$installed" != "$wanted" ]; then
    diff <(echo "$wanted") <(echo "$installed") >&2 || true
    fail "the installed files differ from the expected ones (< expected, > installed)"
fi

# The programs.
[ "$("$prefix/bin/korvex-cli" --version)" = "korvex-cli $version" ] ||
    fail "bin/korvex-cli --version does not print 'korvex-cli $version'"
check_desktop_program() {
    [ -x "$prefix/bin/korvex" ] || fail "bin/korvex is not executable"

    # The desktop entry starts the installed program and names the installed icon.
    local desktop="$prefix/share/applications/korvex.desktop"
    grep -qx 'Exec=korvex %f' "$desktop" || fail "the desktop entry does not run 'korvex %f'"
    grep -qx 'Icon=korvex' "$desktop" || fail "the desktop entry does not name the icon korvex"
    if command -v desktop-file-validate >/dev/null 2>&1; then
        desktop-file-validate "$desktop" || fail "desktop-file-validate refuses the desktop entry"
    fi

    # Each PNG is a PNG of the size its directory promises.
    local size png header width height
    for size in "${sizes[@]}"; do
        png="$prefix/share/icons/hicolor/${size}x${size}/apps/korvex.png"
        [ "$(od -An -tx1 -N8 "$png" | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "$png is not a PNG"
        read -r -a header <<<"$(od -An -tu1 -j16 -N8 "$png")"
        width=$(((header[0] << 24) | (header[1] << 16) | (header[2] << 8) | header[3]))
        height=$(((header[4] << 24) | (header[5] << 16) | (header[6] << 8) | header[7]))
        if [ "$width" -ne "$size" ] || [ "$height" -ne "$size" ]; then
            fail "$png is ${width}x${height}, not ${size}x${size}"
        fi
    done
    grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/korvex.svg" ||
        fail "the scalable icon is not an SVG"
}
if [ "$has_gui" = 1 ]; then
    check_desktop_program
fi

# The manual page carries the project's version and formats without warnings.
page="$prefix/$man_page"
read_page() {
    if [[ "$page" == *.gz ]]; then gzip -dc "$page"; else cat "$page"; fi
}
if [[ "$page" == *.gz ]]; then
    gzip -t "$page" || fail "$page is not a valid gzip file"
fi
read_page | grep -q "^\.TH KORVEX-CLI 1 .*\"Korvex $version\"" ||
    fail "the title line of the manual page does not name version $version"
if command -v groff >/dev/null 2>&1; then
    warnings="$(read_page | groff -t -man -Tutf8 -ww -z 2>&1)"
    [ -z "$warnings" ] || fail "groff warns about the manual page: $warnings"
fi
echo "install_test: $(echo "$installed" | wc -l) files installed and checked"
