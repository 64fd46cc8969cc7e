#!/usr/bin/env bash
# The rooms of src/ keep to the map in docs/development.md: every folder of
# src/ has its row there, and each includes only its own headers and those
# of the rooms that its row's last column ("May use") names.
#
#   rooms_test.sh SOURCE_DIR
set -euo pipefail

root=$1
map=$root/docs/development.md
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# The row of a room: "| `src/ROOM/` | what it holds | ROOM, ROOM |".
row() { grep -E "^\| \`src/$1/\` \|" "$map" || true; }

for folder in "$root"/src/*/; do
    room=$(basename "$folder")
    line=$(row "$room")
    if [ -z "$line" ]; then
        fail "src/$room/ has no row in docs/development.md"
        continue
    fi
    allowed=" $room $(awk -F'|' '{ print $(NF - 1) }' <<<"$line" | tr -d '`,' | tr -s ' ') "
    while IFS=: read -r file used; do
        case "$allowed" in
            *" $used "*) ;;
            *) fail "${file#"$root"/} includes $used/, which src/$room/ may not use" ;;
        esac
    done < <(grep -roE '^#include "[a-z]+/' "$folder" | sed -E 's/:#include "([a-z]+)\/$/:\1/')
done

[ "$failed" -eq 0 ] && echo "every room of src/ keeps to its map"
exit "$failed"
