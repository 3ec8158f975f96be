#!/usr/bin/env bash
# The bash completion that korvex-cli makes from its table of options completes commands, options
# and the values of options, under bash-completion as a user's shell loads it; and the manual page,
# which is written by hand, names every command and option of that table.
#   completion_test.sh KORVEX_CLI MANUAL_PAGE
set -euo pipefail
cli="$1"
manual="$2"
fail() { echo "FAIL: $*"; exit 1; }

manual_text="$(sed 's/\\-/-/g' "$manual")"
commands="$("$cli" --help | sed -n '/^Commands:/,/^$/p' | awk 'NR > 1 && NF { print $1 }')"
[ -n "$commands" ] || fail "no commands in korvex-cli --help"
for command in $commands; do
    grep -q "^\.SS $command\$" <<<"$manual_text" || fail "the manual page has no section $command"
    for option in $("$cli" "$command" --help | grep -oE '^  (-[a-z], )?--[a-z-]+' | grep -oE -- '--[a-z-]+'); do
        grep -qF -- "$option" <<<"$manual_text" || fail "the manual page does not name $command $option"
    done
done
helpers=/usr/share/bash-completion/bash_completion
[ -f "$helpers" ] || { echo "no bash-completion: skipped"; exit 77; }
script="$(mktemp)"
trap 'rm -f "$script"' EXIT
"$cli" --bash-completion > "$script"
bash -n "$script" || fail "the completion script is not valid bash"

# The words offered for the command line `$1`, the last word being completed.
complete_line() {
    bash -c '
        source "$1"; source "$2"
        read -r -a COMP_WORDS <<< "$3"
        [[ "$3" == *" " ]] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        COMP_LINE="$3"; COMP_POINT=${#COMP_LINE}
        _korvex_cli korvex-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
        printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "
    ' _ "$helpers" "$script" "$1"
}
[ "$(complete_line "korvex-cli con")" = "convert " ] || fail "command: $(complete_line "korvex-cli con")"
[ "$(complete_line "korvex-cli convert a --del")" = "--delimiter " ] ||
    fail "option: $(complete_line "korvex-cli convert a --del")"
[ "$(complete_line "korvex-cli convert a --delimiter s")" = "semicolon space " ] ||
    fail "value: $(complete_line "korvex-cli convert a --delimiter s")"
[ "$(complete_line "korvex-cli export d X --date-format DD_MON")" = "DD_MON_CCYY DD_MON_YY " ] ||
    fail "date format: $(complete_line "korvex-cli export d X --date-format DD_MON")"
[ "$(complete_line "korvex-cli check --v")" = "--verbose " ] || fail "check --verbose"
echo "bash completion: passed"
