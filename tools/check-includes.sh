#!/usr/bin/env bash
# Fails when the code and the CMake files disagree about the downward arrows.
# Each room is a savenook_room(target SOURCES ... PUBLIC ... PRIVATE ...) call in
# src/<room>/CMakeLists.txt, and each test folder a savenook_*_tests(folder targets...)
# call in tests/CMakeLists.txt; nothing else is read, so the CMake files are the one
# table. A file may include only its own room and the rooms its target links (tests
# also tests/support); a room's headers only the rooms it links PUBLIC; every room it
# links is used, PUBLIC only by a header; the links form no loop; and every source
# in a room's folder is listed in its call.
set -euo pipefail
cd "$(dirname "$0")/.."

# The calls of a function in a CMake file, one per line, comments dropped.
calls() {
    sed 's/#.*//' "$2" | tr '\n' ' ' | grep -oE "$1\([^)]*\)" | sed -E 's/^[a-z_]+\(//; s/\)$//' || true
}
# The room of an include such as "ui/main/Prompts.h" or "core/Stores.h".
included_rooms() {
    sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"((ui\/[a-z]+)|([a-z]+))\/.*/\1/p' "$@" | sort -u
}

declare -A room_of public private listed
status=0
fail() { echo "$1"; status=1; }

while IFS= read -r file; do
    dir=${file#src/}; dir=${dir%/CMakeLists.txt}
    while read -r target rest; do
        [ -n "$target" ] || continue
        room_of[$target]=$dir
        section=
        for word in $rest; do
            case $word in
                SOURCES | PUBLIC | PRIVATE) section=$word ;;
                *) case $section in
                       SOURCES) listed[$dir/$word]=1 ;;
                       PUBLIC) public[$dir]+=" $word" ;;
                       PRIVATE) private[$dir]+=" $word" ;;
                   esac ;;
            esac
        done
    done < <(calls savenook_room "$file")
done < <(find src -name CMakeLists.txt | sort)

# Room folders of the savenook_* targets in a list; other targets (Qt, GTest) are not rooms.
rooms_of() {
    local target
    for target in $1; do
        [ -n "${room_of[$target]:-}" ] && echo "${room_of[$target]}"
    done
    return 0
}

for target in "${!room_of[@]}"; do
    dir=${room_of[$target]}
    links=" $dir $(rooms_of "${public[$dir]:-} ${private[$dir]:-}" | tr '\n' ' ')"
    exported=" $dir $(rooms_of "${public[$dir]:-}" | tr '\n' ' ')"
    for file in src/"$dir"/*.cpp src/"$dir"/*.h; do
        [ -e "$file" ] || continue
        [ -n "${listed[${file#src/}]:-}" ] || fail "$file is not listed in src/$dir/CMakeLists.txt"
        while IFS= read -r used; do
            case "$links" in *" $used "*) ;; *)
                fail "$file includes a header of '$used', which room '$dir' does not link" ;; esac
            case $file in *.h)
                case "$exported" in *" $used "*) ;; *)
                    fail "$file is a header of '$dir' and includes '$used', which '$dir' links PRIVATE" ;; esac ;;
            esac
        done < <(included_rooms "$file")
    done
    shopt -s nullglob
    headers=(src/"$dir"/*.h) sources=(src/"$dir"/*.h src/"$dir"/*.cpp)
    shopt -u nullglob
    for used in $(rooms_of "${public[$dir]:-}"); do
        included_rooms "${headers[@]}" /dev/null | grep -qx "$used" ||
            fail "room '$dir' links '$used' PUBLIC, but none of its headers includes it"
    done
    for used in $(rooms_of "${private[$dir]:-}"); do
        included_rooms "${sources[@]}" /dev/null | grep -qx "$used" ||
            fail "room '$dir' links '$used', but none of its files includes it"
    done
done

# The arrows point down only: the rooms and their links form no loop.
links_between_rooms() {
    local target used
    for target in "${!room_of[@]}"; do
        for used in $(rooms_of "${public[${room_of[$target]}]:-} ${private[${room_of[$target]}]:-}"); do
            echo "$used ${room_of[$target]}"
        done
    done
}
if ! links_between_rooms | tsort >/dev/null 2>&1; then
    fail "the rooms link one another in a loop: $(links_between_rooms | tsort 2>&1 >/dev/null | tail -n +2 |
        sed 's/^tsort: //' | tr '\n' ' ')"
fi

tests=0
while read -r folder targets; do
    [ -n "$folder" ] || continue
    tests=$((tests + 1))
    links=" support $(rooms_of "$targets" | tr '\n' ' ')"
    for file in tests/"$folder"/*.cpp tests/"$folder"/*.h; do
        [ -e "$file" ] || continue
        while IFS= read -r used; do
            case "$links" in *" $used "*) ;; *)
                fail "$file includes a header of '$used', which its test target does not link" ;; esac
        done < <(included_rooms "$file")
    done
done < <(calls 'savenook_[a-z]+_tests' tests/CMakeLists.txt)

if [ "${#room_of[@]}" -lt 2 ] || [ "$tests" -lt 2 ]; then
    fail "found ${#room_of[@]} rooms and $tests test folders in the CMake files: has their form changed?"
fi
[ "$status" -eq 0 ] &&
    echo "include arrows: ${#room_of[@]} rooms and $tests test folders include only what their CMake files link"
exit "$status"
