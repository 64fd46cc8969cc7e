#!/usr/bin/env bash
# Runs a command inside a desktop session made for the end-to-end tests, and
# ends the session afterwards; exits with the command's status, or 77 (a
# skipped test) when the session's programs are not installed.
#
#   session.sh weston COMMAND...   a Wayland session: weston on its headless
#                                  backend, with Xwayland; DISPLAY,
#                                  WAYLAND_DISPLAY and XDG_SESSION_TYPE=wayland
#                                  are set as a desktop sets them
#   session.sh openbox COMMAND...  openbox managing the X server in DISPLAY
#
# The command learns which session it runs in from SKINPREVIEW_SESSION.
set -uo pipefail
session=$1
shift

# Waits up to 30 s for a condition, polling.
wait_for() {
    local _
    for _ in $(seq 300); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# Stops a process and all it started (same process group), and waits until
# none of them is left: weston's helpers and Xwayland outlive it a moment.
stop_group() {
    local group=$1
    kill -TERM -- "-$group" 2>/dev/null || return 0
    wait_for eval "! kill -0 -- -$group 2>/dev/null" || kill -KILL -- "-$group" 2>/dev/null
    wait "$group" 2>/dev/null
    wait_for eval "! kill -0 -- -$group 2>/dev/null"
}

case $session in
weston)
    command -v weston >/dev/null && command -v Xwayland >/dev/null \
        || { echo "weston or Xwayland is not installed"; exit 77; }
    runtime_dir=$(mktemp -d)
    chmod 700 "$runtime_dir"
    log=$runtime_dir/weston.log
    # Its own process group (setsid), so that stopping it reaches its helpers.
    XDG_RUNTIME_DIR=$runtime_dir setsid weston --backend=headless-backend.so --socket=wayland-e2e \
        --xwayland --width=1280 --height=1024 --log="$log" >"$runtime_dir/output" 2>&1 &
    group=$!
    trap 'stop_group $group; rm -rf "$runtime_dir"' EXIT
    if ! wait_for grep -q 'xserver listening on display :' "$log" 2>/dev/null; then
        echo "weston did not start its X server:"
        cat "$log" "$runtime_dir/output"
        exit 1
    fi
    export DISPLAY=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$log" | head -1)
    export XDG_RUNTIME_DIR=$runtime_dir WAYLAND_DISPLAY=wayland-e2e XDG_SESSION_TYPE=wayland
    ;;
openbox)
    command -v openbox >/dev/null || { echo "openbox is not installed"; exit 77; }
    [ -n "${DISPLAY:-}" ] || { echo "needs an X server (DISPLAY)"; exit 77; }
    log=$(mktemp)
    # Ready once it has announced itself on the root window (through a
    # window of its own, so that an earlier manager's leftover does not count).
    openbox_ready() {
        local check
        check=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | sed -n 's/.*window id # //p')
        [ -n "$check" ] && xprop -id "$check" _NET_WM_NAME 2>/dev/null | grep -q '"Openbox"'
    }
    ready_or_gone() { openbox_ready || ! kill -0 "$group" 2>/dev/null; }
    setsid openbox --sm-disable >"$log" 2>&1 &
    group=$!
    trap 'stop_group $group; rm -f "$log"' EXIT
    wait_for ready_or_gone
    if ! openbox_ready; then
        echo "openbox did not start:"
        cat "$log"
        exit 1
    fi
    ;;
*)
    echo "unknown session: $session (weston or openbox)" >&2
    exit 2
    ;;
esac

export SKINPREVIEW_SESSION=$session
"$@"
status=$?
[ $status -eq 0 ] || { echo "== $session's log"; cat "$log"; }
exit $status
