# x_display.sh -- gives the Windows programs' dialogs an X display. Sourced by test.sh and
# demo.sh. `use_virtual_display` starts a private Xvfb and exports DISPLAY for it;
# `stop_virtual_display` ends it.

use_virtual_display() {
    local number
    for number in $(seq 90 140); do
        if [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ]; then
            continue
        fi
        Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        virtual_display_pid=$!
        for _ in $(seq 50); do
            if [ -e "/tmp/.X11-unix/X$number" ]; then
                export DISPLAY=":$number"
                return 0
            fi
            kill -0 "$virtual_display_pid" 2>/dev/null || break
            sleep 0.1
        done
    done
    echo "x_display.sh: could not start Xvfb" >&2
    return 1
}

stop_virtual_display() {
    if [ -n "${virtual_display_pid:-}" ]; then
        kill "$virtual_display_pid" 2>/dev/null || true
        virtual_display_pid=
    fi
}
