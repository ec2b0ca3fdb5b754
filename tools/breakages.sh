#!/bin/sh
# Breaks the code on purpose in the places listed in tools/breakages.txt and checks that
# the suite catches each one. Usage: tools/breakages.sh [build folder] [data file] [id...]
# The build folder must be configured already (see README). Every file is restored.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
restore() {
    # The script restores each file itself; this catches a kill between two steps.
    find "$root/src" -name '*.breakage-orig' | while read -r saved; do
        mv "$saved" "${saved%.breakage-orig}"
    done
}
trap restore EXIT
trap 'restore; exit 130' INT TERM
python3 "$root/tools/breakages.py" "$@"
