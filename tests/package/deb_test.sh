#!/usr/bin/env bash
# Installs the Debian package with dpkg, checks its dependencies and manual
# pages, starts the command of the installed desktop entry and waits for its
# window, then removes the package and checks that none of its files is
# left.
#
#   deb_test.sh BUILD_DIR
#
# The package is the one in $SKINPREVIEW_PACKAGE (the test command sets it
# to the Release package of scripts/package); without it, the test packs
# BUILD_DIR itself.
#
# Needs root and changes the system for a few seconds; exits 77 (skipped)
# without root, or when a skinpreview package or /usr/bin/skinpreview is
# already there, so that an installation of the user's is never touched.
set -euo pipefail

build=$1
id=org.skinpreview.SkinPreview

if [ "$(id -u)" != 0 ]; then
    echo "SKIP: installing a package needs root"
    exit 77
fi
if dpkg-query -W -f='${Status}' skinpreview 2>/dev/null | grep -q 'ok installed' \
   || [ -e /usr/bin/skinpreview ]; then
    echo "SKIP: skinpreview is already installed on this system"
    exit 77
fi

work=$(mktemp -d)
installed=0
app_pid=
xvfb_pid=
cleanup() {
    [ -z "$app_pid" ] || kill "$app_pid" 2>/dev/null || true
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
    [ "$installed" = 0 ] || dpkg -r skinpreview >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

deb=${SKINPREVIEW_PACKAGE:-}
if [ -z "$deb" ]; then
    cpack --config "$build/CPackConfig.cmake" -B "$work/pack" >/dev/null
    debs=("$work"/pack/skinpreview_*.deb)
    [ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: cpack made no single .deb"; exit 1; }
    deb=${debs[0]}
fi
echo "package: $deb"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# One "name version" line per package in the Depends field ("-" for none).
entries() {
    tr ',|' '\n\n' <<<"$depends" | sed 's/^ *//; s/ *$//; s/:[a-z0-9]*//' | grep -v '^$' \
        | sed -E 's/^([^ (]+) *(\((.*)\))?$/\1 \3/; s/ $/ -/'
}
version_of() { entries | awk -v name="$1" '$1 == name && !found++ { $1 = ""; sub(/^ /, ""); print }'; }
# The fonts that stand in for the ones the layouts name, and libarchive,
# loaded when an archive is first opened: listed by hand, as no binary
# links them.
[ -n "$(version_of fonts-liberation)" ] || { echo "FAIL: no dependency on fonts-liberation"; exit 1; }
case $(version_of libarchive13) in
    ''|-) echo "FAIL: no dependency on libarchive13 with a least version"; exit 1 ;;
esac
# The libraries' packages come from dpkg-shlibdeps, which also gives the C
# library the least version that the programs need.
case $(version_of libc6) in
    ''|-) echo "FAIL: no dependency on libc6 with a least version: not worked out by dpkg-shlibdeps"; exit 1 ;;
esac

dpkg -i "$deb"
installed=1
[ "$(dpkg-query -W -f='${Status}' skinpreview)" = "install ok installed" ] \
    || { echo "FAIL: dpkg does not list skinpreview as installed"; exit 1; }
files=$(dpkg -L skinpreview | while read -r f; do [ -d "$f" ] || echo "$f"; done)

# Every shared library that an installed program links comes from a package
# that the Depends field names itself.
missing=0
for program in $(grep '^/usr/bin/' <<<"$files"); do
    for name in $(objdump -p "$program" | awk '$1 == "NEEDED" { print $2 }'); do
        # The dynamic loader has no "=>" in ldd's list: its path comes first.
        # awk reads ldd's list to its end: leaving early would end ldd by
        # SIGPIPE, which pipefail takes for a failure.
        lib=$(ldd "$program" | awk -v name="$name" '
            done { next }
            $1 == name && $2 == "=>" { print $3; done = 1 }
            $1 ~ ("/" name "$") { print $1; done = 1 }')
        owner=
        for candidate in "$lib" "$(realpath "$lib")" "/usr$lib" "${lib#/usr}"; do
            owner=$(dpkg -S "$candidate" 2>/dev/null | awk -F: 'NR == 1 { print $1 }') \
                && [ -n "$owner" ] && break
        done
        version=$(version_of "$owner")
        if [ -z "$owner" ]; then
            echo "FAIL: $program: $name ($lib) belongs to no package"; missing=1
        elif [ -z "$version" ]; then
            echo "FAIL: $program: $name comes from $owner, which the package does not name"; missing=1
        else
            echo "$program: $name: $owner ($version)"
        fi
    done
done
[ "$missing" = 0 ] || exit 1
for f in /usr/bin/skinpreview /usr/bin/skintool /usr/share/applications/$id.desktop \
         /usr/share/metainfo/$id.metainfo.xml \
         /usr/share/icons/hicolor/{64x64,128x128,256x256}/apps/$id.png \
         /usr/share/doc/skinpreview/{copyright,changelog.gz,making-a-skin.md,figures/layout.png} \
         /usr/share/man/man1/{skinpreview,skintool}.1.gz; do
    [ -f "$f" ] || { echo "FAIL: $f is not installed"; exit 1; }
done

# man finds each installed page by its name and formats it without a
# warning.
for page in $(grep '^/usr/share/man/man1/.*\.1\.gz$' <<<"$files"); do
    name=$(basename "$page" .1.gz)
    found=$(man -w "$name" 2>&1) || true
    [ "$found" = "$page" ] || { echo "FAIL: man -w $name gives '$found', not $page"; exit 1; }
    text=$(MANWIDTH=80 man --warnings -E UTF-8 "$name" 2>"$work/man-errors") \
        || { echo "FAIL: man $name failed: $(cat "$work/man-errors")"; exit 1; }
    [ ! -s "$work/man-errors" ] || { echo "FAIL: man $name warns: $(cat "$work/man-errors")"; exit 1; }
    grep -q "^NAME" <<<"$text" || { echo "FAIL: man $name shows no NAME section"; exit 1; }
    echo "man $name: $(sed -n '/^NAME/{n;s/^ *//;p;q}' <<<"$text")"
done

# The command-line companion runs from the package, without a display.
version=$(env -u DISPLAY /usr/bin/skintool --version) \
    || { echo "FAIL: the installed skintool does not run"; exit 1; }
echo "$version"
# Neither program maps libarchive at start: it is not linked...
for program in /usr/bin/skinpreview /usr/bin/skintool; do
    ! objdump -p "$program" | grep -q 'NEEDED.*libarchive' \
        || { echo "FAIL: $program links libarchive, which it should load when it first opens an archive"; exit 1; }
done
# ...and skintool finds it when it first opens an archive, and writes and
# reads a zip.
(cd "$work" && env -u DISPLAY /usr/bin/skintool template --out skin >/dev/null \
    && env -u DISPLAY /usr/bin/skintool pack skin --out skin.zip >/dev/null \
    && env -u DISPLAY /usr/bin/skintool check --oneline skin.zip) \
    || { echo "FAIL: the installed skintool cannot pack and check a zip"; exit 1; }
echo "packed and checked a zip"

# Start the program the way the application menu does, from an empty folder
# (it keeps lastpath.skin in its working directory), in an X server that
# does not reset when xdotool, polling, leaves it.
if [ -z "${DISPLAY:-}" ]; then
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
    xvfb_pid=$!
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
    export DISPLAY=":$(cat "$work/display")"
fi
exec_line=$(sed -n 's/^Exec=//p' /usr/share/applications/$id.desktop)
echo "Exec=$exec_line"
# Started from the menu, with no file: a launcher drops the field codes.
command=$(sed -E 's/ *%[fFuUick]//g' <<<"$exec_line")
mkdir "$work/run"
(cd "$work/run" && unset QT_QPA_PLATFORM && exec $command) &
app_pid=$!
window=
for _ in $(seq 100); do
    window=$(xdotool search --all --pid "$app_pid" --name '^Form1$' 2>/dev/null | head -n1) || true
    [ -n "$window" ] && break
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
done
[ -n "$window" ] || { echo "FAIL: the installed program showed no Form1 window"; exit 1; }
echo "window $window: $(xdotool getwindowname "$window")"
kill "$app_pid"
wait "$app_pid" 2>/dev/null || true
app_pid=

dpkg -r skinpreview
installed=0
if dpkg-query -W -f='${Status}' skinpreview 2>/dev/null | grep -q 'ok installed'; then
    echo "FAIL: skinpreview is still installed after dpkg -r"
    exit 1
fi
left=0
for f in $files; do
    if [ -e "$f" ]; then echo "FAIL: $f is left after dpkg -r"; left=1; fi
done
[ "$left" = 0 ] || exit 1
echo "installed, started and removed cleanly"
