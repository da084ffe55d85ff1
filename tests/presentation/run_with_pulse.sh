#!/bin/sh
# Runs one test program with a sound server of its own: a PulseAudio null sink
# in a temporary runtime folder, so sound really plays (and ends) without a
# sound card, and ALSA's "default" device and its mixer lead to that sink.
#
#   run_with_pulse.sh <test program> [arguments...]
#
# Register a test that needs real sound in tests/CMakeLists.txt with one line
# (below the existing ones; the name differs from the one the glob gives it):
#   add_test(NAME tst_x_pulse COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/presentation/run_with_pulse.sh $<TARGET_FILE:tst_x>)
# The glob also registers tst_x to run on its own: let it QSKIP unless
# QUORVANE_PULSE_TEST is set (this script sets it), so it never touches the
# sound of the desktop it runs on.
#
# Notes:
# - As root PulseAudio only warns ("not intended to be run as root") and runs
#   with --system=false; no extra flag is needed.
# - ALSA's own configuration (pulse.conf of libasound2-plugins) routes
#   "default" to PulseAudio when a server is running; the .asoundrc written
#   into the temporary HOME makes that hold wherever that hook is missing.
# - speech-dispatcher is not started here: the speech library spawns it on its
#   first connection (socket in XDG_RUNTIME_DIR); it is stopped at the end.
set -u

if [ $# -lt 1 ]; then
    echo "usage: $0 <test program> [arguments...]" >&2
    exit 2
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/qvpulse.XXXXXX") || exit 1
mkdir -p "$tmp/run" "$tmp/home"
chmod 700 "$tmp/run"
export XDG_RUNTIME_DIR="$tmp/run"
export HOME="$tmp/home"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
export QUORVANE_PULSE_TEST=1
unset PULSE_SERVER PULSE_SINK 2>/dev/null || true

cat > "$HOME/.asoundrc" <<'ASOUND'
pcm.!default { type pulse }
ctl.!default { type pulse }
ASOUND

cleanup() {
    pidfile="$XDG_RUNTIME_DIR/speech-dispatcher/pid/speech-dispatcher.pid"
    if [ -f "$pidfile" ]; then
        kill "$(cat "$pidfile")" 2>/dev/null || true
    fi
    pulseaudio --kill 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if ! pulseaudio --daemonize=yes --system=false --exit-idle-time=-1 -n \
        --load="module-null-sink sink_name=null" \
        --load=module-native-protocol-unix \
        --load=module-always-sink 2>"$tmp/pulse.log"; then
    cat "$tmp/pulse.log" >&2
    echo "PulseAudio did not start" >&2
    exit 1
fi

# The daemon forks before its socket is ready.
tries=0
until pactl info >/dev/null 2>&1; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ]; then
        echo "PulseAudio did not answer" >&2
        exit 1
    fi
    sleep 0.1
done
pactl set-default-sink null

"$@"
