#!/usr/bin/env bash
# The bash completion offers every option the program's --help lists and every key name --press accepts, as
# bash itself completes them (bash-completion's helpers loaded when installed); the man page explains every option.
set -o pipefail  # not -u: bash-completion's own functions expect unset variables to be empty
program=$1
completion=$2
manpage=$3
[ -f /usr/share/bash-completion/bash_completion ] && source /usr/share/bash-completion/bash_completion
# Without the package, a minimal stand-in for the one helper the script needs.
declare -F _init_completion >/dev/null || _init_completion() {
    cur=${COMP_WORDS[COMP_CWORD]}; prev=${COMP_WORDS[COMP_CWORD-1]}; words=("${COMP_WORDS[@]}"); cword=$COMP_CWORD
}
source "$completion"

complete_line() {  # words...: completes the last word
    COMP_WORDS=(qv7700-remote "$@"); COMP_CWORD=$(( ${#COMP_WORDS[@]} - 1 )); COMPREPLY=()
    COMP_LINE="${COMP_WORDS[*]}"; COMP_POINT=${#COMP_LINE}
    _qv7700_remote
    printf '%s\n' "${COMPREPLY[@]}"
}

help=$(QT_QPA_PLATFORM=offscreen "$program" --help)
options=$(grep -oE '^  (-[a-z], )?--[a-z-]+' <<<"$help" | grep -oE -- '--[a-z-]+' | grep -vx -- '--help-all')
keys=$(grep -A4 -- '--press <KEY>' <<<"$help" | tr -s ' ' '\n' | sed 's/[.,:;()]//g' |
       grep -xE '[A-Z][A-Z0-9]+[-+]?|1-9' | sed 's/^1-9$/1 2 3 4 5 6 7 8 9/' | tr ' ' '\n')

status=0
offered=$(complete_line --)
for o in $options; do
    grep -qx -- "$o" <<<"$offered" || { echo "option not completed: $o"; status=1; }
done
for o in $options; do
    grep -qF -- "$(sed 's/-/\\-/g' <<<"$o")" "$manpage" || { echo "option not in the man page: $o"; status=1; }
done
offered_keys=$(complete_line --press '')
for k in $keys; do
    grep -qx -- "$k" <<<"$offered_keys" || { echo "key not completed: $k"; status=1; }
done
[ "$(complete_line --press vo | sort | tr '\n' ' ')" = "VOL+ VOL- " ] || { echo "lower-case key prefix not completed"; status=1; }
echo "options: $(wc -w <<<"$options"), keys: $(wc -w <<<"$keys")"
exit $status
