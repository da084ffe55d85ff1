#!/usr/bin/env bash
# Quorvane on Wayland: a headless weston of the test's own (its own runtime
# folder and socket), the program installed into a temporary prefix and run
# with QT_QPA_PLATFORM=wayland, one alarm due a few seconds after the start.
# The alarm must map its window on the compositor (seen in the program's own
# Wayland protocol trace), show its desktop notification (on the stand-in
# notification service), and be answered through the notification's Stop,
# which closes the window and the notification; SIGTERM then ends the
# program cleanly with the sounding counted.
#
# usage: wayland_test.sh BUILD_DIR
#        wayland_test.sh --installed PREFIX BUILD_DIR   the program already in PREFIX
set -u
installed=""
if [ "${1:-}" = "--installed" ]; then
    installed=${2:?usage: wayland_test.sh --installed PREFIX BUILD_DIR}
    shift 2
fi
build=${1:?usage: wayland_test.sh BUILD_DIR}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quorvane-wayland.XXXXXX")
prefix=$tmp/prefix
export XDG_DATA_HOME=$tmp/xdg
export XDG_RUNTIME_DIR=$tmp/run
data=$XDG_DATA_HOME/quorvane
groups=$tmp/groups
socket=quorvane-test-$$
weston_pid=""
program_pid=""
fake_pid=""
job=""

# Polls every 0.2 s until the command succeeds, at most $1 seconds.
wait_until() {
    local limit=$1; shift
    local i
    for ((i = 0; i < limit * 5; i++)); do
        "$@" && return 0
        sleep 0.2
    done
    "$@"
}
dead() { ! kill -0 "$1" 2>/dev/null; }

cleanup() {
    for p in $program_pid $fake_pid; do kill -KILL "$p" 2>/dev/null; done
    [ -n "$job" ] && { wait_until 10 dead "$job" || kill -KILL "$job" 2>/dev/null; }
    [ -n "$weston_pid" ] && kill -TERM "$weston_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    for f in "$tmp/weston.log" "$tmp/program.err" "$tmp/notifications.log" "$data/quorvane.log"; do
        echo "----- $f"; [ -f "$f" ] && tail -n 60 "$f"
    done
    echo "----- the program's windows on the compositor"
    [ -f "$tmp/program.err" ] && grep -E 'set_title|xdg_toplevel@[0-9]+\.destroy' "$tmp/program.err" | tail -n 20
    exit 1
}

command -v weston >/dev/null || fail "weston is missing (package weston, scripts/setup)"
command -v dbus-run-session >/dev/null || fail "dbus-run-session is missing (package dbus)"
fake=$build/bin/quorvane-test-notifications
[ -x "$fake" ] || fail "the stand-in notification service $fake is not built"
if [ -n "$installed" ]; then
    prefix=$installed
else
    cmake --install "$build" --prefix "$prefix" > "$tmp/install.log" 2>&1 \
        || { cat "$tmp/install.log"; fail "cmake --install failed"; }
fi
program=$prefix/bin/quorvane

# ---- the compositor
mkdir -m 0700 "$XDG_RUNTIME_DIR"
weston --backend=headless-backend.so --socket="$socket" --no-config --idle-time=0 \
    --log="$tmp/weston.log" > "$tmp/weston.out" 2>&1 &
weston_pid=$!
wait_until 30 test -S "$XDG_RUNTIME_DIR/$socket" || fail "weston did not open its socket"

# ---- settings naming the English language, and one alarm a few seconds ahead
mkdir -p "$data" "$groups"
stored_time() { date -d "@$1" '+%Y/%m/%d %H:%M:%S'; }
start=$(date +%s)
alarm_at=$((start + 6))
never="9999/12/31 00:00:00"
printf '<settings><bl>0</bl><lsd>%s</lsd><agp>%s</agp><lng>English</lng><cls>default</cls></settings>' \
    "$(stored_time "$start")" "$groups" > "$data/usr.cfx"
printf '%s' "<algr><name>Wayland</name><stat>-1</stat><chsi>0</chsi><colr>0</colr><sync></sync><syst></syst>\
<alrm><name>Wayland alarm</name><datk>0</datk><perl>1</perl><peru>3</peru><oncd>$(stored_time "$alarm_at")</oncd>\
<nexd>$never</nexd><actp>0</actp><stad>$never</stad><endd>$never</endd><wkds>0</wkds><adva></adva>\
<adda>0</adda><addu>0</addu><acti><acid>1</acid><plug></plug><sett><s></s><i>1</i></sett></acti>\
<saia>-1</saia><stat>-1</stat><snoz>0</snoz><snod>$never</snod><rdon>0</rdon></alrm></algr>" > "$groups/usg_0.agx"

# ---- the program on Wayland, with its protocol trace on standard error. The
# shell starts the stand-in service (answering every alarm with Stop) and
# then becomes the program, so the pid written is the program's.
env -u DISPLAY QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY="$socket" WAYLAND_DEBUG=client \
    dbus-run-session -- sh -c '"$2" "$3" stop & echo $! > "$4"; echo $$ > "$1"; exec "$0"' \
    "$program" "$tmp/program.pid" "$fake" "$tmp/notifications.log" "$tmp/fake.pid" \
    > "$tmp/program.out" 2> "$tmp/program.err" &
job=$!
wait_until 30 test -s "$tmp/program.pid" || fail "the program did not start"
program_pid=$(cat "$tmp/program.pid")
fake_pid=$(cat "$tmp/fake.pid")

wait_until $((alarm_at - $(date +%s) + 60)) grep -qs "summary=Wayland alarm " "$tmp/notifications.log" \
    || fail "the alarm showed no desktop notification"
wait_until 20 grep -qs "^ActionInvoked" "$tmp/notifications.log" || fail "the stand-in service did not answer"
wait_until 20 grep -qs "^CloseNotification" "$tmp/notifications.log" \
    || fail "Stop in the notification did not close the alarm window (no CloseNotification)"
dead "$program_pid" && fail "the program ended by itself"

# ---- the alarm window on the compositor: its toplevel (titled with the
# alarm's name) got a configure, was acknowledged and drawn (a buffer attached
# to its surface), and was destroyed again when Stop answered it.
verdict=$(awk '
    function first(s, name) { return match(s, name "@[0-9]+") ? substr(s, RSTART, RLENGTH) : "" }
    function created(s, name) { return match(s, "new id " name "@[0-9]+") ? substr(s, RSTART + 7, RLENGTH - 7) : "" }
    /get_xdg_surface\(new id / { surface_of[created($0, "xdg_surface")] = first($0, "wl_surface") }
    /get_toplevel\(new id / { xdg_of[created($0, "xdg_toplevel")] = first($0, "xdg_surface") }
    # Qt may make the window anew (to keep it on top) before it is shown:
    # follow the latest toplevel with the alarm title until one is drawn.
    /xdg_toplevel@[0-9]+\.set_title\("Wayland alarm - / && !drawn {
        t_alarm = first($0, "xdg_toplevel"); x = xdg_of[t_alarm]; s = surface_of[x]
        configured = acked = 0
    }
    t_alarm && x != "" && index($0, x ".configure(") { configured = 1 }
    configured && index($0, x ".ack_configure(") { acked = 1 }
    acked && s != "" && index($0, s ".attach(wl_buffer@") { drawn = 1 }
    drawn && index($0, t_alarm ".destroy(") { destroyed = 1 }
    END {
        if (!t_alarm) print "no toplevel titled with the alarm";
        else if (!acked) print "the alarm window was never configured";
        else if (!drawn) print "the alarm window was never drawn";
        else if (!destroyed) print "the alarm window was not closed";
        else print "ok";
    }' "$tmp/program.err")
[ "$verdict" = "ok" ] || fail "on the compositor: $verdict"

# ---- SIGTERM runs the exit path; the sounding was counted
kill -TERM "$program_pid"
wait_until 60 dead "$program_pid" || fail "the program did not end within 60 s of SIGTERM"
program_pid=""
kill -TERM "$fake_pid" 2>/dev/null
fake_pid=""
wait "$job"; rc=$?
job=""
[ "$rc" -eq 0 ] || fail "the program ended with status $rc after SIGTERM"
grep -q "<s2>1</s2>" "$data/usr.cfx" || fail "the settings do not count one alarm sounded"
echo "PASS: on a headless weston the alarm mapped its window, notified, was answered through the notification and the program ended cleanly"
