#!/usr/bin/env bash
# Builds the Debian package into a fresh directory and checks its control fields, its file list
# and that its Depends name every package whose libraries the programs link.
# Usage: deb_test.sh CPACK BUILD_DIR HAS_GUI VERSION SANITIZED (HAS_GUI and SANITIZED: 1 or 0)
# Exits 77 (skipped) where there is no dpkg.
set -euo pipefail
cpack="$1"
build="$2"
has_gui="$3"
version="$4"
sanitized="$5"

if ! command -v dpkg-deb >/dev/null 2>&1 || ! command -v dpkg >/dev/null 2>&1; then
    echo "deb_test: no dpkg here, skipped"
    exit 77
fi
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

fail() {
    echo "deb_test: $*" >&2
    exit 1
}

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$out/package" >"$out/cpack.log" 2>&1 || {
    cat "$out/cpack.log"
    fail "cpack failed"
}
architecture="$(dpkg --print-architecture)"
deb="$out/package/korvex_${version}_${architecture}.deb"
[ -f "$deb" ] || fail "cpack did not write $(basename "$deb"): $(ls "$out/package")"

field() {
    dpkg-deb -f "$deb" "$1"
}
[ "$(field Package)" = korvex ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Architecture)" = "$architecture" ] || fail "Architecture is '$(field Architecture)'"
[ "$(field Maintainer)" = "Halvorn <korvex@halvorn.example>" ] ||
    fail "Maintainer is '$(field Maintainer)'"
[ "$(field Section)" = misc ] || fail "Section is '$(field Section)'"
[ -n "$(field Description)" ] || fail "the package has no Description"

# The package names of Depends, without versions or alternatives.
depends="$(field Depends | sed 's/[,|]/\n/g' | sed 's/(.*)//; s/[[:space:]]//g; /^$/d' | sort -u)"
depends_on() {
    grep -qx "$1" <<<"$depends"
}
for package in libc6 libstdc++6 libgcc-s1; do
    depends_on "$package" || fail "Depends lacks $package: $(field Depends)"
done
if [ "$has_gui" = 1 ]; then
    # Loaded as plug-ins, so no linker records them: the SVG icon engine.
    depends_on libqt6svg6 || fail "Depends lacks libqt6svg6, which draws the icons"
fi

# The file list, below /usr as Debian puts it.
files="$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./||' | sort)"
expected=(usr/bin/korvex-cli usr/share/man/man1/korvex-cli.1.gz
    usr/share/bash-completion/completions/korvex-cli)
if [ "$has_gui" = 1 ]; then
    expected+=(usr/bin/korvex usr/share/applications/korvex.desktop
        usr/share/icons/hicolor/scalable/apps/korvex.svg)
    for size in 16 32 48 64 128 256; do
        expected+=("usr/share/icons/hicolor/${size}x${size}/apps/korvex.png")
    done
fi
wanted="$(printf '%s\n' "${expected[@]}" | sort)"
if [ "$files" != "$wanted" ]; then
    diff <(echo "$wanted") <(echo "$files") >&2 || true
    fail "the package's files differ from the expected ones (< expected, > packaged)"
fi

# Every package that holds a library the programs link must be in Depends. dpkg-shlibdeps (from
# dpkg-dev) works that out as Debian's own packages do; it reads the programs where a package
# build keeps them, debian/<package>/. A sanitizer build is never shipped, and links more (the
# sanitizer run-times, and libraries that the linker drops from a normal build), so only the
# packages of a normal build are compared.
if [ "$sanitized" = 1 ]; then
    echo "deb_test: a sanitizer build, the linked libraries were not checked"
    exit 0
fi
if ! command -v dpkg-shlibdeps >/dev/null 2>&1; then
    echo "deb_test: no dpkg-shlibdeps (dpkg-dev), the linked libraries were not checked"
    exit 0
fi
source_dir="$out/source"
mkdir -p "$source_dir/debian/korvex"
printf 'Source: korvex\n\nPackage: korvex\nArchitecture: any\n' >"$source_dir/debian/control"
dpkg-deb -x "$deb" "$source_dir/debian/korvex"
programs=("debian/korvex/usr/bin/korvex-cli")
if [ "$has_gui" = 1 ]; then
    programs+=("debian/korvex/usr/bin/korvex")
fi
shlibs="$(cd "$source_dir" && dpkg-shlibdeps -O "${programs[@]}")" ||
    fail "dpkg-shlibdeps failed"
needed="$(echo "${shlibs#shlibs:Depends=}" | sed 's/[,|]/\n/g' |
    sed 's/(.*)//; s/[[:space:]]//g; /^$/d' | sort -u)"
for package in $needed; do
    depends_on "$package" ||
        fail "the programs link a library of $package, which Depends lacks: $(field Depends)"
done
echo "deb_test: $(basename "$deb") checked; Depends: $(field Depends)"
