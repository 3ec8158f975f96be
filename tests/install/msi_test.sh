#!/usr/bin/env bash
# The Windows installer, under Wine in a Wine prefix of its own (made afresh, about 10 s): a silent
# install puts the release archive's files, byte for byte, into C:\Program Files\Korvex and the
# shortcut Korvex into the Start menu; the installed korvex-cli.exe runs, and the installed
# korvex.exe opens its main window and closes. A silent uninstall then leaves none of them, but
# keeps the user's settings under HKEY_CURRENT_USER\Software\Halvorn\Korvex. Run on an X display
# (xvfb-run), which every Wine process of the prefix shares.
#   msi_test.sh MSI ZIP CMAKE VERSION XWININFO EMULATOR...
set -euo pipefail
msi="$1"
zip="$2"
cmake="$3"
version="$4"
xwininfo="$5"
shift 5
emulator=("$@")
work="$(mktemp -d)"
export WINEPREFIX="$work/prefix"
# No Mono or Gecko installer, and no desktop entries in the real home for the Start-menu shortcut.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wineserver="$(dirname "$(command -v "${emulator[-1]}")")/wineserver"
trap '{ "$wineserver" -k && "$wineserver" -w; } 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
wine() { "${emulator[@]}" "$@"; }

[ -f "$msi" ] || fail "there is no $msi"
"$cmake" -E chdir "$work" "$cmake" -E tar xf "$zip"
wine wineboot --init >/dev/null 2>&1

wine msiexec /i "$msi" /qn || fail "the install ended with exit status $?"
installed="$WINEPREFIX/drive_c/Program Files/Korvex"
diff -r "$work/korvex-$version-windows-x64" "$installed" || fail "the installed files differ"
# Windows Installer puts the shortcut of a per-machine install into the Start menu of all users;
# Wine 8 into the user's own.
shortcuts=("$WINEPREFIX"/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Korvex.lnk
    "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs/Korvex.lnk)
shortcut=""
for candidate in "${shortcuts[@]}"; do
    [ -f "$candidate" ] && shortcut="$candidate"
done
[ -n "$shortcut" ] || fail "there is no shortcut Korvex in the Start menu"
grep -qaF 'C:\Program Files\Korvex\korvex.exe' "$shortcut" || fail "the shortcut leads elsewhere"

[ "$(wine 'C:\Program Files\Korvex\korvex-cli.exe' --version)" = "korvex-cli $version" ] ||
    fail "the installed korvex-cli.exe --version"
# korvex.exe runs until its main window (title Korvex, X class korvex.exe) is there, and is then
# closed as by the user, keeping its placement in the registry.
wine 'C:\Program Files\Korvex\korvex.exe' &
program=$!
shown=0
for _ in $(seq 60); do
    kill -0 $program 2>/dev/null || fail "korvex.exe ended at its start"
    if "$xwininfo" -root -tree | grep -qF '"Korvex": ("korvex.exe"'; then
        shown=1
        break
    fi
    sleep 0.5
done
[ $shown = 1 ] || fail "korvex.exe showed no main window in 30 s"
wine taskkill /im korvex.exe >/dev/null || fail "taskkill found no korvex.exe"
wait $program || fail "korvex.exe ended with exit status $?"

settings='HKCU\Software\Halvorn\Korvex'
wine reg add "$settings\Test" /v Kept /d yes /f >/dev/null
before="$(wine reg query "$settings" /s)"
wine msiexec /x "$msi" /qn || fail "the uninstall ended with exit status $?"
[ ! -e "$installed" ] || fail "the uninstall left: $(find "$installed")"
[ ! -e "$shortcut" ] || fail "the uninstall left the shortcut"
[ "$(wine reg query "$settings" /s)" = "$before" ] || fail "the uninstall changed the settings"
echo "installed, started and uninstalled; the settings are kept"
