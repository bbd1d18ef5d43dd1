#!/bin/sh
# UnderOpenbox.sh PROGRAM [ARGUMENTS...]: runs PROGRAM on an X server of its own (Xvfb, one
# 1024x600 screen) under the openbox window manager, and returns PROGRAM's exit status.
set -eu
exec xvfb-run -a -s "-screen 0 1024x600x24 -nolisten tcp" sh -c '
    openbox --sm-disable >/dev/null 2>&1 &
    wm=$!
    tries=0
    until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; do
        tries=$((tries + 1))
        if [ "$tries" -gt 300 ]; then
            echo "openbox did not start" >&2
            kill "$wm"
            exit 1
        fi
        sleep 0.1
    done
    status=0
    "$@" || status=$?
    kill "$wm"
    exit "$status"' sh "$@"
