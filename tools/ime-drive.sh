#!/bin/sh
# Tamroc under Xvfb with a real Japanese input method (IBus + Anthy), to be
# driven by hand with xdotool as a user would.
#
#   ime-drive.sh start DIR [PROGRAM]
#       Starts in DIR (created if missing) an X server, a session bus, a
#       window manager, IBus with Anthy in hiragana mode, and PROGRAM
#       (build/bin/Tamroc by default) with QT_IM_MODULE=ibus. Writes DIR/env,
#       which a shell sources to reach them all:  . DIR/env
#   ime-drive.sh shot DIR NAME  screenshot of the whole screen to DIR/NAME.png
#   ime-drive.sh stop DIR       ends what start started
#
# Needs: xvfb dbus-x11 openbox ibus ibus-anthy xdotool imagemagick (Debian 12).
# IBus, its settings and Anthy's dictionary stay in DIR/home, so the caller's
# own settings are never touched.
#
# The Anthy engine is a Python program started by ibus-daemon through
# "python3" on PATH. Where another python3 comes first on PATH (pyenv, a
# virtual environment) it lacks the GObject bindings, the engine dies at once
# and "ibus engine anthy" waits in vain (a SetGlobalEngine timeout): PATH is
# therefore reset to the system's folders here.
set -e
cmd=${1:-}
dir=${2:-}
[ -n "$cmd" ] && [ -n "$dir" ] || { sed -n '2,13p' "$0" >&2; exit 2; }
here=$(cd "$(dirname "$0")/.." && pwd)

case "$cmd" in
start)
    mkdir -p "$dir"
    dir=$(cd "$dir" && pwd)
    program=${3:-$here/build/bin/Tamroc}
    n=77
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    mkdir -p "$dir/home" "$dir/xdg"
    chmod 700 "$dir/xdg"
    cat > "$dir/env" <<EOF
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
export DISPLAY=:$n
export HOME=$dir/home
export XDG_CONFIG_HOME=$dir/home/.config XDG_CACHE_HOME=$dir/home/.cache XDG_RUNTIME_DIR=$dir/xdg
export LANG=C.UTF-8
export QT_IM_MODULE=ibus XMODIFIERS=@im=ibus GTK_IM_MODULE=ibus
EOF
    . "$dir/env"
    Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp > "$dir/xvfb.log" 2>&1 &
    echo $! > "$dir/xvfb.pid"
    i=0
    until xdpyinfo > /dev/null 2>&1; do
        i=$((i + 1)); [ $i -lt 50 ] || { echo "Xvfb did not start" >&2; exit 1; }
        sleep 0.2
    done
    dbus-launch --sh-syntax > "$dir/dbus.env"
    cat "$dir/dbus.env" >> "$dir/env"
    . "$dir/dbus.env"
    openbox > "$dir/openbox.log" 2>&1 &
    echo $! > "$dir/openbox.pid"
    # Anthy reads its mode when the engine starts: hiragana (0), digits full width.
    gsettings set org.freedesktop.ibus.general preload-engines "['anthy']"
    gsettings set org.freedesktop.ibus.engine.anthy.common input-mode 0
    ibus-daemon --xim --daemonize --replace > "$dir/ibus.log" 2>&1
    i=0
    until ibus list-engine 2> /dev/null | grep -q '^ *anthy '; do
        i=$((i + 1)); [ $i -lt 50 ] || { echo "IBus lists no Anthy engine" >&2; exit 1; }
        sleep 0.2
    done
    (cd "$(dirname "$program")" && exec "$program") > "$dir/program.log" 2>&1 &
    echo $! > "$dir/program.pid"
    xdotool search --sync --onlyvisible --pid "$(cat "$dir/program.pid")" > /dev/null
    ibus engine anthy || true # answers 1 on some versions even when it worked
    [ "$(ibus engine)" = anthy ] || { echo "Anthy is not the engine" >&2; exit 1; }
    echo "ready: . $dir/env"
    ;;
shot)
    . "$dir/env"
    import -window root "$dir/${3:-shot}.png"
    ;;
stop)
    . "$dir/env"
    [ -f "$dir/program.pid" ] && kill "$(cat "$dir/program.pid")" 2> /dev/null || true
    ibus exit > /dev/null 2>&1 || true
    [ -f "$dir/openbox.pid" ] && kill "$(cat "$dir/openbox.pid")" 2> /dev/null || true
    [ -n "${DBUS_SESSION_BUS_PID:-}" ] && kill "$DBUS_SESSION_BUS_PID" 2> /dev/null || true
    [ -f "$dir/xvfb.pid" ] && kill "$(cat "$dir/xvfb.pid")" 2> /dev/null || true
    rm -f "$dir"/*.pid
    ;;
*)
    sed -n '2,13p' "$0" >&2
    exit 2
    ;;
esac
