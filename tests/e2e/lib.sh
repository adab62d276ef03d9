# Shared helpers of the end-to-end tests (sourced). The sourcing script defines fail() and the array pids.

# wait_for SECONDS DESCRIPTION COMMAND...: polls the command every 50 ms until it succeeds, else fails.
wait_for() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || fail "timed out after ${seconds}s waiting for: $what"
        sleep 0.05
    done
}

# start_display WORK_DIR: a private Xvfb on a free display, then Openbox; exports DISPLAY.
start_display() {
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$1/display" 2>"$1/xvfb.log" &
    pids+=($!)
    wait_for 10 "Xvfb" test -s "$1/display"
    DISPLAY=:$(head -1 "$1/display")
    export DISPLAY
    openbox >"$1/openbox.log" 2>&1 &
    pids+=($!)
    wait_for 10 "the window manager" sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
}

clip_get() { xclip -o -selection clipboard 2>/dev/null; }
clip_is() { [[ "$(clip_get)" == "$1" ]]; }
clip_is_not() { [[ "$(clip_get)" != "$1" ]]; }
clip_set() {
    printf '%s' "$1" | xclip -selection clipboard -i
    wait_for 5 "clipboard set" clip_is "$1"
}

# copied_text DESCRIPTION KEY...: what the focused application copies on the keys, read through a sentinel on the
# clipboard so that a stale value cannot pass.
copied_text() {
    local what=$1
    shift
    local sentinel="@@sentinel-$RANDOM$RANDOM@@"
    clip_set "$sentinel"
    xdotool key --clearmodifiers "$@"
    wait_for 5 "$what" clip_is_not "$sentinel"
    clip_get
}

# The number of keys the X server holds down.
keys_down() {
    python3 - <<'PY'
import ctypes
x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
d = x.XOpenDisplay(None)
keys = (ctypes.c_char * 32)()
x.XQueryKeymap(ctypes.c_void_p(d), keys)
print(sum(bin(b).count("1") for b in keys.raw))
PY
}
