#!/usr/bin/env bash
# Runs the demo in tmux as a person would, several times against one world
# made the way ./run-demo makes it (scripts/make-demo-world, kept between
# runs), and checks each step on the screen and in the world:
#  1. a fresh world: the main menu; a dial of the entry that connects (its
#     first number is busy), a resize during the pause after the busy try
#     repaints at once; the connected box; the after-connect list starts the
#     demo clock and closes its window; the log in the viewer;
#  2. ras:hangup in the next run hangs up the connection of the first (the
#     host's menu shows the console title it left), and ras:Nowhere shows a
#     box naming the entry it did not find;
#  3. --configure switches to tone dialling, and the next run dials the demo
#     numbers with "t" and connects.
# Meanwhile ten fresh worlds each make their first connection (scripted
# kelhost): the after-connect list closes its window every time. At the
# end no process that the demo started is left.
#   demo_tmux.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
command -v tmux >/dev/null || { echo "tmux is not installed: skipped"; exit 77; }
[ -x "$build/entryfile" ] || { echo "entryfile not built: skipped"; exit 77; }
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/vez_demo_XXXXXX")
demo=$work/demo
socket=vezdemo$$
tm() { tmux -L "$socket" -f /dev/null "$@"; }

# The processes started against one of this test's worlds (they inherit
# WINAPI_WORLD from kelhost).
started_processes() {
  local environ pid
  for environ in /proc/[0-9]*/environ; do
    pid=${environ#/proc/}
    pid=${pid%/environ}
    [ "$pid" = $$ ] && continue
    grep -qzF "WINAPI_WORLD=$work/" "$environ" 2>/dev/null || continue
    # A zombie has ended; only its parent has not looked yet.
    [ "$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)" = Z ] && continue
    echo "$pid"
  done
}
cleanup() {
  tm kill-server 2>/dev/null
  wait  # the fresh worlds' runs, which end on their own
  local pid
  for pid in $(started_processes); do kill "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

failed() {
  echo "FAILED: $*"
  screen
  exit 1
}
screen() { tm capture-pane -p -t demo 2>/dev/null; }
# wait_for TEXT SECONDS: until the screen shows TEXT.
wait_for() {
  local deadline=$((SECONDS + $2))
  while [ $SECONDS -lt $deadline ]; do
    screen | grep -qF -- "$1" && return 0
    sleep 0.1
  done
  failed "the screen never showed: $1"
}
step() { echo "ok: $1"; }
journal() { cat "$demo/world/journal.log" 2>/dev/null; }

# kelhost ARGS...: starts kelhost in the demo world in a new tmux session of
# 100 by 30, as ./run-demo does; its exit status goes to $work/exit.
kelhost() {
  rm -f "$work/exit"
  local command
  command=$(printf '%q ' env TERM=xterm-256color "WINAPI_WORLD=$demo/world" "$build/kelhost" \
    --plugin "$demo/plugin/vezuzaziz.so" "$@")
  tm new-session -d -s demo -x 100 -y 30 "cd '$demo' && $command; echo \$? > '$work/exit'"
}
# Waits until kelhost has ended with status 0.
wait_exit() {
  local deadline=$((SECONDS + 10))
  while [ $SECONDS -lt $deadline ] && [ ! -s "$work/exit" ]; do sleep 0.1; done
  [ "$(cat "$work/exit" 2>/dev/null)" = 0 ] || failed "kelhost did not end with status 0: $(cat "$work/exit" 2>/dev/null)"
}
# The process id that the journal's last "terminate" line names.
last_terminated() { journal | sed -n 's/^terminate //p' | tail -n 1; }
ended() { [ ! -e "/proc/$1" ] || [ "$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)" = Z ]; }

# Ten fresh worlds, each with its first connection, in the background.
for i in 1 2 3 4 5 6 7 8 9 10; do
  (
    "$top/scripts/make-demo-world" --fresh "$build" "$work/fresh$i" &&
      cd "$work/fresh$i" && printf 'message 0\n' >answers &&
      WINAPI_WORLD=$work/fresh$i/world "$build/kelhost" --plugin "$work/fresh$i/plugin/vezuzaziz.so" \
        --script answers 'ras:Home ISP' >transcript 2>&1
    echo $? >"$work/fresh$i.status"
  ) &
done

# 1. A fresh world. Its "Home ISP" pauses long enough after the busy try
# for the resize check to happen within the pause.
"$top/scripts/make-demo-world" --fresh "$build" "$demo" || failed "no demo world"
"$build/entryfile" unpack "$demo/plugin/vezuzaziz.ini" |
  sed '/^\[Home ISP\]/,/^\[/ s/^Interval=.*/Interval=20/' >"$work/entries.txt" &&
  "$build/entryfile" pack "$work/entries.txt" "$demo/plugin/vezuzaziz.ini" || failed "entries not changed"
kelhost --transcript "$work/transcript1"

wait_for "1. Home ISP" 15
wait_for "4. Slow line" 1
wait_for "Hang up all connections" 1
wait_for "View the current log" 1
step "main menu with the entries and the action rows"

tm send-keys -t demo Enter
wait_for "p5550100" 5
wait_for "Tries left: 3" 1
wait_for "═ Dialling ═" 1
step "dial box for the first number, its title without a trailing blank"
wait_for "The line is busy." 10
step "busy: the service's error text"
# The plug-in sleeps through the pause and calls nothing that draws: the
# new size is drawn all the same, the box centred on it.
tm resize-window -t demo -x 60 -y 16
wait_for "╔═══════════ Z:\\" 10
wait_for "The line is busy." 1
# The host's calls since the busy box (the transcript is written as each
# call returns): only texts fetched.
since_busy=$(sed -n '/^Message flags=1 .*"The line is busy\."/,$p' "$work/transcript1" | tail -n +2)
grep -q '^Message flags=1 .*"The line is busy\."' "$work/transcript1" || failed "no busy box in the transcript"
if echo "$since_busy" | grep -qv '^GetMessageText\|^$'; then
  failed "the repaint came with the plug-in's next call, not within the pause: $since_busy"
fi
step "a resize during the pause repaints at once"
tm resize-window -t demo -x 100 -y 30
wait_for "╔═════════════════════ Z:\\" 10
wait_for "p5550400" 30
wait_for "Tries left: 2" 1
# The state of the dial in the top-left corner.
wait_for "Authenticat" 10
screen | head -n 1 | grep -q '[A-Za-z]' || failed "no state text in the top-left corner"
step "second number, with the connection state in the corner"
wait_for "Local IP Address: 198.51.100.23" 15
wait_for "Remote IP Address: 198.51.100.1" 1
step "connected box with both addresses"

tm send-keys -t demo Enter
wait_for "Open Dial-up" 30
step "back in the host after the after-connect list"
[ -f "$demo/started-after-connect.txt" ] || failed "the after-connect list did not start its last program"
clock=$(last_terminated)
[ -n "$clock" ] || failed "the after-connect list closed no window"
journal | grep -qxF "winexec echo \"Demo clock=\$\$\" >> \"\$WINAPI_WORLD/windows.ini\"; exec sleep 600" ||
  failed "the demo clock was not started"
for _ in $(seq 100); do ended "$clock" && break; sleep 0.1; done
ended "$clock" || failed "the demo clock ($clock) still runs"
grep -q "Demo clock" "$demo/world/windows.ini" && failed "the demo clock's window is still listed"
step "the after-connect list closed the window of the program it had started"

tm send-keys -t demo Enter
wait_for "1. Home ISP" 5
for _ in 1 2 3 4 5 6; do tm send-keys -t demo Down; done
tm send-keys -t demo Enter
wait_for "Dialling 5550400" 5
wait_for "Local IP Address: 198.51.100.23" 1
step "the log in the viewer"
tm send-keys -t demo Escape
wait_for "Open Dial-up" 5
tm send-keys -t demo Escape
wait_exit
connection=$(sed -n 's/^\[\([0-9][0-9]*\)\]$/\1/p' "$demo/world/connections.ini" | tail -n 1)
[ -n "$connection" ] || failed "no connection is listed after the first run"
step "quit, with the connection kept in the world"

# 2. The next run, the world kept: ras:hangup hangs up that connection.
"$top/scripts/make-demo-world" "$build" "$demo" || failed "the demo world was not kept"
[ -f "$demo/started-after-connect.txt" ] || failed "the demo world was made anew"
kelhost ras:hangup
wait_for "Open Dial-up" 10
# The hang-up draws nothing; kelhost's menu shows the console title, which
# holds the plug-in's last log line.
wait_for "Console title: Connection hung up" 1
journal | grep -qxF "hangup $connection" || failed "ras:hangup did not hang up connection $connection"
grep -q '^\[[0-9]' "$demo/world/connections.ini" && failed "a connection is still listed"
tm send-keys -t demo Escape
wait_exit
step "ras:hangup in the next run hung up the connection of the first"

# A name that no entry has is told, not dropped in silence.
kelhost ras:Nowhere
wait_for "No dial entry has the name Nowhere" 10
wait_for "[ OK ]" 1
tm send-keys -t demo Enter
wait_for "Open Dial-up" 10
tm send-keys -t demo Escape
wait_exit
step "ras:Nowhere shows the box naming it"

# 3. Tone dialling, saved with --configure, is used by the next run; the
# demo numbers answer with that prefix too.
"$top/scripts/make-demo-world" "$build" "$demo" || failed "the demo world was not kept"
kelhost --configure
wait_for "(*) Pulse dialling" 10
tm send-keys -t demo Right Space
wait_for "(*) Tone dialling" 5
tm send-keys -t demo Enter
wait_for "Open Dial-up" 10
tm send-keys -t demo Escape
wait_exit
step "tone dialling saved with --configure"

"$top/scripts/make-demo-world" "$build" "$demo" || failed "the demo world was not kept"
kelhost 'ras:Home ISP'
wait_for "t5550100" 10
wait_for "The line is busy." 10
wait_for "t5550400" 30
wait_for "Local IP Address: 198.51.100.23" 15
tm send-keys -t demo Enter
wait_for "Open Dial-up" 30
tm send-keys -t demo Escape
wait_exit
journal | grep -qxF "dial t5550400 user=demo" || failed "the tone number was not dialled"
step "the next run dials the tone numbers, and they answer"

# The ten fresh worlds: each first connection closed its clock's window.
wait
for i in 1 2 3 4 5 6 7 8 9 10; do
  [ "$(cat "$work/fresh$i.status" 2>/dev/null)" = 0 ] || failed "fresh world $i: kelhost: $(cat "$work/fresh$i/transcript")"
  grep -q '^terminate ' "$work/fresh$i/world/journal.log" ||
    failed "fresh world $i: the after-connect list closed no window: $(cat "$work/fresh$i/world/journal.log")"
  grep -q "Demo clock" "$work/fresh$i/world/windows.ini" && failed "fresh world $i: the clock's window is still listed"
done
step "the first connection of a fresh world closed the clock's window, 10 times out of 10"

tm kill-server 2>/dev/null
for _ in $(seq 50); do [ -z "$(started_processes)" ] && break; sleep 0.1; done
left=$(started_processes)
[ -z "$left" ] || failed "processes left behind: $(ps -o pid,args -p "$(echo $left | tr ' ' ,)")"
step "no process left"
echo "demo ok"
