#!/usr/bin/env bash
# End to end: install Quorvane into a temporary prefix, let the real program
# sound one alarm, end it with SIGTERM and check from its files alone that it
# ran cleanly. A second start while the first runs must end at once. The alarm
# also shows a desktop notification (on a stand-in notification service), and
# the group file, changed from outside while the program runs, is taken over:
# its new alarm sounds too.
#
# usage: e2e_test.sh BUILD_DIR           run the test
#        e2e_test.sh --installed PREFIX BUILD_DIR
#                                        the same with the program already
#                                        installed in PREFIX (a package's files)
#        e2e_test.sh --no-program        the program is not built yet: skip (77)
set -u

if [ "${1:-}" = "--no-program" ]; then
    echo "SKIP: the desktop program 'quorvane' is not part of this build yet"
    exit 77
fi
installed=""
if [ "${1:-}" = "--installed" ]; then
    installed=${2:?usage: e2e_test.sh --installed PREFIX BUILD_DIR}
    shift 2
fi
build=${1:?usage: e2e_test.sh BUILD_DIR}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quorvane-e2e.XXXXXX")
prefix=${installed:-$tmp/prefix}
export XDG_DATA_HOME=$tmp/xdg
data=$XDG_DATA_HOME/quorvane
groups=$tmp/groups
first_pid=""    # the program itself (inside dbus-run-session)
fake_pid=""     # the stand-in notification service beside it
first_job=""    # dbus-run-session around it
second_job=""
second_pid=""

cleanup() {
    # The programs first: dbus-run-session then ends by itself and takes its
    # bus daemon along (killing it first would leave the daemon behind).
    for p in $first_pid $second_pid $fake_pid; do kill -KILL "$p" 2>/dev/null; done
    for j in $first_job $second_job; do
        wait_until 10 dead "$j" || kill -KILL "$j" 2>/dev/null
    done
    wait 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

show_file() {
    echo "----- $1"
    if [ -f "$1" ]; then cat "$1"; echo; else echo "(missing)"; fi
}

fail() {
    echo "FAIL: $*"
    echo "===== diagnostics"
    show_file "$tmp/first.out"
    show_file "$tmp/first.err"
    show_file "$tmp/second.out"
    show_file "$tmp/second.err"
    show_file "$data/state"
    show_file "$data/usr.cfx"
    show_file "$data/quorvane.log"
    show_file "$tmp/notifications.log"
    for f in "$data"/*.log; do [ -f "$f" ] && [ "$f" != "$data/quorvane.log" ] && show_file "$f"; done
    echo "----- data folder"; ls -la "$data" 2>&1
    echo "----- alarm-group folder"; ls -la "$groups" 2>&1
    exit 1
}

# Waits until the command succeeds, polling every 0.2 s, at most $1 seconds.
wait_until() {
    local limit=$1; shift
    local i
    for ((i = 0; i < limit * 5; i++)); do
        "$@" && return 0
        sleep 0.2
    done
    "$@"
}

alive() { kill -0 "$1" 2>/dev/null; }
dead() { ! kill -0 "$1" 2>/dev/null; }
now_passed() { [ "$(date +%s)" -ge "$1" ]; }

stored_time() { date -d "@$1" '+%Y/%m/%d %H:%M:%S'; }

# Every leaf element of a compact XML file (no attributes, as the program
# writes it) as "path<TAB>text", for example "settings/sta/s2<TAB>1".
xml_leaves() {
    tr -d '\n\r' < "$1" | awk '
        BEGIN { RS = "<"; depth = 0 }
        NR == 1 { next }
        {
            split($0, part, ">"); tag = part[1]; text = substr($0, length(tag) + 2)
            if (tag ~ /^[?!]/) next
            if (tag ~ /^\//) {
                if (open_leaf) print path_at(depth) "\t" leaf_text
                open_leaf = 0; depth--; next
            }
            if (tag ~ /\/$/) { sub(/\/$/, "", tag); name[depth + 1] = tag; print path_at(depth + 1) "\t"; open_leaf = 0; next }
            depth++; name[depth] = tag; open_leaf = 1; leaf_text = text
        }
        function path_at(d,   p, i) { p = name[1]; for (i = 2; i <= d; i++) p = p "/" name[i]; return p }'
}
# The top-level children of the root, one name per line.
xml_top_names() {
    tr -d '\n\r' < "$1" | awk 'BEGIN { RS = "<"; depth = 0 }
        NR == 1 { next }
        { tag = $0; sub(/>.*/, "", tag)
          if (tag ~ /^[?!]/) next
          if (tag ~ /^\//) { depth--; next }
          if (tag ~ /\/$/) { sub(/\/$/, "", tag); if (depth == 1) print tag; next }
          depth++; if (depth == 2) print tag }'
}
leaf() { xml_leaves "$1" | awk -F '\t' -v k="$2" '$1 == k { print $2; exit }'; }

command -v dbus-run-session >/dev/null || fail "dbus-run-session is missing (package dbus)"

# ---- the installed case
if [ -z "$installed" ]; then
    cmake --install "$build" --prefix "$prefix" > "$tmp/install.log" 2>&1 \
        || { cat "$tmp/install.log"; fail "cmake --install failed"; }
fi
program=$prefix/bin/quorvane
share=$prefix/share/quorvane
[ -x "$program" ] || fail "the program was not installed to $program"
[ ! -e "$prefix/bin/portable" ] || fail "the portable marker was installed; the installed case needs its absence"
for f in "$share/English.lng" "$share/Deutsch.lng" "$share/default.csc" "$share/help/index.html" "$share/help/de/index.html" \
         "$prefix/share/applications/quorvane.desktop" \
         "$prefix/share/metainfo/org.quorvane.Quorvane.metainfo.xml" \
         "$prefix/share/icons/hicolor/scalable/apps/quorvane.svg"; do
    [ -f "$f" ] || fail "not installed: $f"
done

# ---- settings naming the English language, and one alarm a few seconds ahead
mkdir -p "$data" "$groups"
start=$(date +%s)
alarm_at=$((start + 5))
start_text=$(stored_time "$start")
alarm_text=$(stored_time "$alarm_at")
never="9999/12/31 00:00:00"
printf '<settings><bl>0</bl><lsd>%s</lsd><agp>%s</agp><lng>English</lng><cls>default</cls></settings>' \
    "$start_text" "$groups" > "$data/usr.cfx"
# One one-off alarm element: name, moment.
alarm_xml() {
    printf '%s' "<alrm><name>$1</name><datk>0</datk><perl>1</perl><peru>3</peru><oncd>$2</oncd>\
<nexd>$never</nexd><actp>0</actp><stad>$never</stad><endd>$never</endd><wkds>0</wkds><adva></adva>\
<adda>0</adda><addu>0</addu><acti><acid>1</acid><plug></plug><sett><s></s><i>1</i></sett></acti>\
<saia>-1</saia><stat>-1</stat><snoz>0</snoz><snod>$never</snod><rdon>0</rdon></alrm>"
}
group_head="<algr><name>End to end</name><stat>-1</stat><chsi>0</chsi><colr>0</colr><sync></sync><syst></syst>"
printf '%s' "$group_head$(alarm_xml "End-to-end alarm" "$alarm_text")</algr>" > "$groups/usg_0.agx"

# ---- first start
export QT_QPA_PLATFORM=offscreen
fake=$build/bin/quorvane-test-notifications
[ -x "$fake" ] || fail "the stand-in notification service $fake is not built"
# The shell starts the stand-in notification service on the program's bus,
# writes its own pid and then becomes the program, so the pid is the
# program's: SIGTERM goes to the program, not to dbus-run-session.
dbus-run-session -- sh -c '"$2" "$3" & echo $! > "$4"; echo $$ > "$1"; exec "$0"' \
    "$program" "$tmp/first.pid" "$fake" "$tmp/notifications.log" "$tmp/fake.pid" \
    > "$tmp/first.out" 2> "$tmp/first.err" &
first_job=$!
wait_until 30 test -s "$tmp/first.pid" || fail "the program did not start"
first_pid=$(cat "$tmp/first.pid")
fake_pid=$(cat "$tmp/fake.pid")

wait_until 30 test -s "$data/state" || fail "no run-state file was written at start"
state=$(tr -d ' \r\n' < "$data/state")
[ "$state" = "2" ] || fail "the run-state file holds '$state' while the program runs, expected 2"

# Let the alarm come due; the program must stay up.
wait_until $((alarm_at - $(date +%s) + 60)) now_passed $((alarm_at + 4)) || true
alive "$first_pid" || fail "the program ended by itself before SIGTERM"
wait_until 10 grep -q "summary=End-to-end alarm .*urgency=2 actions=default,Show,snooze,Snooze,stop,Stop" \
    "$tmp/notifications.log" || fail "the alarm showed no desktop notification"

# ---- the group file changed by another computer (written beside, then renamed
# over it, as synchronisation services do): its new alarm must sound.
second_at=$(($(date +%s) + 4))
second_text=$(stored_time "$second_at")
printf '%s' "$group_head$(alarm_xml "End-to-end alarm" "$alarm_text")\
$(alarm_xml "Changed from outside" "$second_text")</algr>" > "$groups/.usg_0.agx.part"
mv "$groups/.usg_0.agx.part" "$groups/usg_0.agx"
wait_until $((second_at - $(date +%s) + 60)) now_passed $((second_at + 4)) || true
wait_until 10 grep -q "summary=Changed from outside" "$tmp/notifications.log" \
    || fail "the alarm of the group file changed from outside did not sound"
alive "$first_pid" || fail "the program ended by itself after the group file changed"

# ---- a second start while the first runs ends at once and leaves "state" alone
dbus-run-session -- sh -c 'echo $$ > "$1"; exec "$0"' "$program" "$tmp/second.pid" \
    > "$tmp/second.out" 2> "$tmp/second.err" &
second_job=$!
wait_until 30 test -s "$tmp/second.pid" && second_pid=$(cat "$tmp/second.pid")
wait_until 30 dead "$second_job" || fail "a second start did not end while the first one runs"
wait "$second_job"; second_rc=$?
second_job=""
second_pid=""
[ "$second_rc" -eq 0 ] || fail "the second start ended with status $second_rc"
state=$(tr -d ' \r\n' < "$data/state")
[ "$state" = "2" ] || fail "the second start changed the run-state file to '$state'"
alive "$first_pid" || fail "the first program ended when the second one was started"

# ---- SIGTERM runs the exit path
kill -TERM "$first_pid"
wait_until 60 dead "$first_pid" || fail "the program did not end within 60 s of SIGTERM" \
    "(a modal dialog left open, such as the first-time settings when $share/English.lng was not found, keeps it running)"
first_pid=""
kill -TERM "$fake_pid" 2>/dev/null
fake_pid=""
wait "$first_job"; first_rc=$?
first_job=""
[ "$first_rc" -eq 0 ] || fail "the program ended with status $first_rc after SIGTERM"

# ---- from the files alone
state=$(tr -d ' \r\n' < "$data/state")
[ "$state" = "0" ] || [ "$state" = "1" ] || fail "after a clean exit the run-state file holds '$state', expected 0 or 1"

cfx=$data/usr.cfx
[ "$(leaf "$cfx" settings/lng)" = "English" ] \
    || fail "the settings file does not name the English language any more"
keys="bl lsd sa mw ftf wl wu so agp as tc vd aw sta font ds lng lst df sca ata cls acpl acv igc ibw
      osvol svol ovvol vvol ovspd vspd tiia acmm acst auc cao stt odt ola olu olp epa ofrm dsa dsu dsat uoaw"
present=$(xml_top_names "$cfx" | tr '\n' ' ')
missing=""
for k in $keys; do
    case " $present " in *" $k "*) ;; *) missing="$missing $k" ;; esac
done
[ -z "$missing" ] || fail "the settings file lacks the keys:$missing"
for k in sa/c0 sa/u1 mw/x mw/dv4 so/ald aw/h sta/s1 sta/s2 sta/s3 df/sc lst/ag/clm/i; do
    xml_leaves "$cfx" | cut -f1 | grep -qx "settings/$k" || fail "the settings file lacks settings/$k"
done
[ "$(leaf "$cfx" settings/agp)" = "$groups" ] || fail "the alarm-group folder setting changed"
# The shipped general-purpose plug-in was found in the installed plug-in
# folder (under lib): its settings were asked for and kept.
xml_leaves "$cfx" | grep -q "^settings/acpl/plst/plin	QuorvaneKeepAwake\*KeepAwake$" \
    || fail "the installed program did not find its shipped plug-ins (no settings of QuorvaneKeepAwake kept)"

lsd=$(leaf "$cfx" settings/lsd)
[[ "$lsd" =~ ^[0-9]{4}/[0-9]{2}/[0-9]{2}\ [0-9]{2}:[0-9]{2}:[0-9]{2}$ ]] || fail "\"lsd\" is not a stored moment: '$lsd'"
[[ "$lsd" > "$alarm_text" || "$lsd" == "$alarm_text" ]] \
    || fail "\"lsd\" ($lsd) did not move past the alarm's moment ($alarm_text)"
s2=$(leaf "$cfx" settings/sta/s2)
[ "$s2" = "2" ] || fail "\"sta/s2\" counted '$s2' alarms sounded, expected 2 (the second from the group file changed from outside)" \
    "(is the installed program reading its shipped files from $share?)"
# Both alarm windows were closed at exit: so were their notifications.
[ "$(grep -c '^CloseNotification' "$tmp/notifications.log")" = "2" ] \
    || fail "the notifications were not closed with their windows"

echo "PASS: installed, sounded one alarm with a desktop notification, took over its group file changed from outside, refused a second instance, ended cleanly on SIGTERM (state $state, lsd $lsd)"
exit 0
