#!/usr/bin/env bash
# Checks the tree that `cmake --install` made (the install_tree test):
# exactly the expected files, a desktop entry and AppStream metadata that the
# Debian validators accept and that name the installed binary and icons.
#
#   installed_files_test.sh DESTDIR PREFIX
set -euo pipefail

destdir=$1
prefix=$1$2
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
id=org.skinpreview.SkinPreview
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# Every manual page source in docs/man/ is installed as a gzipped page, and
# the skin authors' guide with every figure in docs/figures/.
pages=$(cd "$source_dir/docs/man" && for source in *.1.scd; do echo "share/man/man1/${source%.scd}.gz"; done)
figures=$(cd "$source_dir/docs/figures" && for figure in *.png; do echo "share/doc/skinpreview/figures/$figure"; done)
expected=$(LC_ALL=C sort <<END
bin/skinpreview
bin/skintool
share/applications/$id.desktop
share/doc/skinpreview/changelog.gz
share/doc/skinpreview/copyright
share/doc/skinpreview/making-a-skin.md
share/icons/hicolor/128x128/apps/$id.png
share/icons/hicolor/256x256/apps/$id.png
share/icons/hicolor/64x64/apps/$id.png
share/metainfo/$id.metainfo.xml
$pages
$figures
END
)
actual=$(cd "$prefix" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)
if [ "$actual" != "$expected" ]; then
    fail "installed files differ from the expected ones"
    diff <(echo "$expected") <(echo "$actual") || true
fi
[ -x "$prefix/bin/skinpreview" ] || fail "bin/skinpreview is not executable"
[ -x "$prefix/bin/skintool" ] || fail "bin/skintool is not executable"

desktop=$prefix/share/applications/$id.desktop
metainfo=$prefix/share/metainfo/$id.metainfo.xml

# desktop-file-validate exits 0 on warnings and hints; take any output as a
# failure so that the entry stays clean.
echo "desktop-file-validate $desktop"
if ! out=$(desktop-file-validate "$desktop" 2>&1) || [ -n "$out" ]; then
    fail "desktop-file-validate: $out"
fi

# appstreamcli fails on errors and warnings, and with --strict on remarks
# too; pedantic hints pass.
echo "appstreamcli validate --no-net --strict $metainfo"
appstreamcli validate --no-net --strict "$metainfo" || fail "appstreamcli validate"
# The tree as a whole: the metainfo's launchable must be the installed
# desktop entry.
echo "appstreamcli validate-tree --no-net --strict $destdir"
appstreamcli validate-tree --no-net --strict "$destdir" || fail "appstreamcli validate-tree"

# The menu's command is the installed program, and the entry's icon is the
# installed one.
entry() { sed -n "s/^$1=//p" "$desktop"; }
exec_line=$(entry Exec)
[ "$exec_line" = "skinpreview %f" ] || fail "Exec is '$exec_line', not the installed skinpreview with a file or folder"
[ "$(entry Icon)" = "$id" ] || fail "Icon is '$(entry Icon)', not $id"
[ "$(entry StartupWMClass)" = skinpreview ] || fail "StartupWMClass is not skinpreview"
grep -q "<id>$id</id>" "$metainfo" || fail "the metainfo's id is not $id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" \
    || fail "the metainfo does not launch $id.desktop"
grep -q '<screenshot type="default">' "$metainfo" || fail "no default screenshot"
grep -q '<project_license>MIT</project_license>' "$metainfo" || fail "the metainfo names no MIT licence"

[ "$failed" = 0 ] && echo "installed tree is complete and valid"
exit "$failed"
