#!/usr/bin/env bash
# Checks the pages of the help window: each has a title, loads nothing from outside, every link
# leads to a page and anchor that exist, and messages.html quotes every message of
# engine/Messages.h word for word.
# Usage: help_test.sh SOURCE_DIR
set -euo pipefail
help="$1/res/help"
messages_header="$1/engine/Messages.h"
status=0

fail() {
    echo "help_test: $*" >&2
    status=1
}

# The text of a page as the reader sees it: tags dropped, line breaks and runs of blanks as one
# blank, the entities the pages use turned back into characters.
page_text() {
    sed 's/<br>/ /g; s/<[^>]*>//g' "$1" | tr '\n\t' '  ' | tr -s ' ' |
        sed 's/&lt;/</g; s/&gt;/>/g; s/&quot;/"/g; s/&amp;/\&/g'
}

pages=("$help"/*.html)
[ -f "$help/index.html" ] || fail "there is no index.html"
for page in "${pages[@]}"; do
    name="$(basename "$page")"
    grep -q '<title>[^<]' "$page" || fail "$name has no title"
    if grep -Eiq '<script|<link |<img|src=|https?://' "$page"; then
        fail "$name loads something or links outside the help pages"
    fi
    while IFS= read -r link; do
        target="${link%%#*}"
        anchor=""
        [[ "$link" == *"#"* ]] && anchor="${link#*#}"
        target_page="$page"
        if [ -n "$target" ]; then
            target_page="$help/$target"
            [ -f "$target_page" ] || {
                fail "$name links to $link, but there is no $target"
                continue
            }
        fi
        if [ -n "$anchor" ] && ! grep -q "name=\"$anchor\"" "$target_page"; then
            fail "$name links to $link, but $(basename "$target_page") has no anchor $anchor"
        fi
    done < <(grep -o 'href="[^"]*"' "$page" | sed 's/^href="//; s/"$//')
done

# Every message constant: its string literals joined, "\n" read as a line break.
shown="$(page_text "$help/messages.html")"
count=0
while IFS= read -r message; do
    count=$((count + 1))
    grep -qF -- "$message" <<<"$shown" || fail "messages.html does not quote \"$message\""
done < <(awk '
    /constexpr const char\*/ { collecting = 1; text = "" }
    collecting {
        line = $0
        while (match(line, /"([^"\\]|\\.)*"/)) {
            text = text substr(line, RSTART + 1, RLENGTH - 2)
            line = substr(line, RSTART + RLENGTH)
        }
        if ($0 ~ /;[ \t]*$/) {
            gsub(/\\n/, " ", text)
            gsub(/\\"/, "\"", text)
            print text
            collecting = 0
        }
    }' "$messages_header")
[ "$count" -gt 0 ] || fail "no messages found in $messages_header"
[ "$status" -ne 0 ] || echo "help_test: ${#pages[@]} pages and $count messages checked"
exit "$status"
