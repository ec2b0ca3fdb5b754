#!/usr/bin/env bash
# Fails when a source file includes a header of a room its own room does not
# depend on, so the downward arrows hold in the code and not only in the README.
set -euo pipefail
cd "$(dirname "$0")/.."
declare -A allowed=(
    [platform]="platform"
    [core]="core platform"
    [settings]="settings core platform"
    [reporting]="reporting core platform"
    [engine]="engine settings reporting core platform"
    [ui]="ui engine settings reporting core platform"
)
status=0
while IFS= read -r file; do
    room=${file#src/}; room=${room%%/*}
    [ -n "${allowed[$room]:-}" ] || continue
    while IFS= read -r used; do
        case " ${allowed[$room]} " in
            *" $used "*) ;;
            *) echo "$file includes a header of '$used', which room '$room' does not depend on"; status=1 ;;
        esac
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([a-z]*\)\/.*/\1/p' "$file" | sort -u)
done < <(find src -mindepth 2 \( -name '*.cpp' -o -name '*.h' \) | sort)
[ "$status" -eq 0 ] && echo "include arrows: every room includes only the rooms below it"
exit "$status"
