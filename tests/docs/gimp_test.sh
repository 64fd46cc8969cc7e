#!/usr/bin/env bash
# The author's guide's GIMP steps give skin pictures that check --strict
# takes, from an indexed and from a greyscale picture: its batch recipe is
# run as the guide prints it. Without its Image > Mode > RGB step, GIMP
# writes a BMP of 8 bits or fewer, and check's hint names that step.
#
#   gimp_test.sh SOURCE_DIR SKINTOOL
set -euo pipefail

guide=$1/docs/making-a-skin.md
skintool=$2
if ! command -v gimp >/dev/null; then
    echo "SKIP: needs GIMP (Debian's gimp package)"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export HOME=$work/home # GIMP's settings go here, not to the user's
mkdir -p "$HOME"
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# The pictures an author might start from: a PNG of 16 colours, which GIMP
# opens as indexed, and a PNG in grey, which it opens as greyscale.
convert -size 178x357 gradient:red-blue -colors 16 PNG8:indexed.png
convert -size 615x599 gradient:white-black -colorspace Gray -define png:color-type=0 -depth 8 grey.png

# The guide's recipe, as printed, for IN.png to OUT.bmp.
recipe=$(sed -n '/^      gimp -i -b/,/(gimp-quit 0)/p' "$guide" | sed 's/^      //')
[ -n "$recipe" ] || { echo "FAIL: no GIMP batch recipe in $guide"; exit 1; }
export_as_guided() { # IN OUT
    local command=${recipe//'"IN.png"'/\"$1\"}
    command=${command//'"OUT.bmp"'/\"$2\"}
    bash -c "$command" >gimp.log 2>&1 || { cat gimp.log; fail "the guide's recipe failed on $1"; }
}

"$skintool" template --out skin >/dev/null
# The dialog's choices alone, without Image > Mode > RGB: 8 bits or fewer.
gimp -i -b '(let* ((image (car (gimp-file-load RUN-NONINTERACTIVE "grey.png" "grey.png"))))
              (file-bmp-save2 RUN-NONINTERACTIVE image (car (gimp-image-flatten image))
                              "skin/backsettings.bmp" "skin/backsettings.bmp" 0 1 3))' \
     -b '(gimp-quit 0)' >gimp.log 2>&1 || { cat gimp.log; fail "GIMP failed on grey.png"; }
if report=$("$skintool" check --strict skin); then
    fail "check --strict takes GIMP's greyscale export without the RGB step"
fi
grep -q 'backsettings.bmp is an 8-bit BMP' <<<"$report" || fail "no 8-bit format warning: $report"
grep -q 'Image ▸ Mode ▸ RGB' <<<"$report" || fail "the hint does not name Image ▸ Mode ▸ RGB: $report"

# Following the guide: both pass.
export_as_guided indexed.png skin/sticker_background.bmp
export_as_guided grey.png skin/backsettings.bmp
"$skintool" check --strict skin || fail "check --strict refuses the guide's exports"

[ "$failed" = 0 ] && echo "PASS"
exit "$failed"
