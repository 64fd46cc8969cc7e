#!/usr/bin/env bash
# The README's recipe for spreading render and sheet over hosts with GNU
# parallel, run as printed on this machine alone (--sshlogin :), a few skins
# a job: each job's pictures and sheet are those of a plain run of its skins.
#
#   parallel_recipe_test.sh SOURCE_DIR SKINTOOL
set -euo pipefail

readme=$1/README.md
skintool=$2
if ! command -v parallel >/dev/null; then
    echo "SKIP: needs GNU parallel (Debian's parallel package)"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export HOME=$work/home # parallel's own files go here, not to the user's
mkdir -p "$HOME" bin
ln -s "$skintool" bin/skintool
export PATH=$work/bin:$PATH
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# Five skins of a plain background each, and one whose background is cut
# short.
python3 - <<'PYTHON'
import os, struct
def bmp(path, width, height, rgb):
    row = bytes(rgb[::-1]) * width
    row += b"\0" * (-len(row) % 4)
    pixels = row * height
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 3780, 3780, 0, 0)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(header + info + pixels)
for i, name in enumerate(["Ash", "Birch", "Cedar", "Elm", "Fir"]):
    bmp(f"skins/{name}/background.bmp", 800, 600, (40 * i, 200 - 30 * i, 90))
    bmp(f"skins/{name}/backsettings.bmp", 615, 599, (200, 40 * i, 60))
bmp("skins/Broken/background.bmp", 800, 600, (10, 20, 30))
with open("skins/Broken/background.bmp", "r+b") as f:
    f.truncate(1000)
PYTHON

# The recipe, as printed, on this machine alone, two skins a job.
recipe=$(sed -n '/^    # Pictures:/,/sheets\/{#}.png {}.$/p' "$readme" | sed 's/^    //')
[ -n "$recipe" ] || { echo "FAIL: no parallel recipe in $readme"; exit 1; }
case $recipe in *"skintool render"*"skintool sheet"*) ;; *) echo "FAIL: the recipe lacks render or sheet"; exit 1 ;; esac
recipe=${recipe//--sshlogin host1,host2,:/--sshlogin :}
recipe=$(sed -E 's/ -n [0-9]+ / -n 2 /' <<<"$recipe")
bash -c "$recipe" >recipe.log 2>&1 || { cat recipe.log; fail "the recipe failed"; }

mapfile -t skins < <(find skins -mindepth 1 -maxdepth 1 -type d | sort)
skintool render -j 1 --out plain "${skins[@]}" >/dev/null
pictures=pictures/$(hostname)
[ "$(find "$pictures" -name '*.png' | wc -l)" -eq $((6 * 5)) ] || fail "the recipe drew $(find "$pictures" -name '*.png' | wc -l) pictures, not 30"
diff -r plain "$pictures" || fail "the recipe's pictures differ from a plain run's"

job=0
for ((i = 0; i < ${#skins[@]}; i += 2)); do
    job=$((job + 1))
    skintool sheet -j 1 --out "expected-$job.png" "${skins[@]:i:2}"
    cmp "expected-$job.png" "sheets/$job.png" || fail "sheet $job differs from a plain run's of ${skins[*]:i:2}"
done
[ "$(find sheets -name '*.png' | wc -l)" -eq "$job" ] || fail "the recipe wrote another number of sheets than $job"

[ "$failed" -eq 0 ] && echo "PASS"
exit "$failed"
