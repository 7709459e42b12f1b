#!/usr/bin/env bash
# Runs the demo in tmux as a person would: opens the main menu, dials the
# entry that connects (its first number is busy), watches the states and
# the connected box, closes it, opens the plug-in again and reads the log in
# the viewer. Each step checks what is on the screen.
set -u
build=$1
command -v tmux >/dev/null || { echo "tmux is not installed: skipped"; exit 77; }
[ -x "$build/entryfile" ] || { echo "entryfile not built: skipped"; exit 77; }
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/vez_demo_XXXXXX)
session=vezdemo$$
trap 'tmux kill-session -t "$session" 2>/dev/null; rm -rf "$work"' EXIT
"$top/scripts/make-demo-world" "$build" "$work/demo"

tmux new-session -d -s "$session" -x 100 -y 30 \
  "cd '$work/demo' && TERM=xterm-256color WINAPI_WORLD='$work/demo/world' '$build/kelhost' --plugin '$work/demo/plugin/vezuzaziz.so'; echo KELHOST-EXITED \$?; sleep 30"

screen() { tmux capture-pane -p -t "$session"; }
# wait_for TEXT SECONDS: until the screen shows TEXT.
wait_for() {
  local deadline=$((SECONDS + $2))
  while [ $SECONDS -lt $deadline ]; do
    screen | grep -qF -- "$1" && return 0
    sleep 0.1
  done
  echo "FAILED: the screen never showed: $1"
  screen
  exit 1
}
step() { echo "ok: $1"; }

wait_for "1. Home ISP" 15
wait_for "4. Slow line" 1
wait_for "Hang up all connections" 1
wait_for "View the current log" 1
step "main menu with the entries and the action rows"

tmux send-keys -t "$session" Enter
wait_for "p5550100" 5
wait_for "Tries left: 3" 1
step "dial box for the first number"
wait_for "The line is busy." 10
step "busy: the service's error text"
wait_for "p5550400" 10
wait_for "Tries left: 2" 1
# The state of the dial in the top-left corner.
wait_for "Authenticat" 10
screen | head -n 1 | grep -q '[A-Za-z]' || { echo "FAILED: no state text in the top-left corner"; exit 1; }
step "second number, with the connection state in the corner"
wait_for "Local IP Address: 198.51.100.23" 15
wait_for "Remote IP Address: 198.51.100.1" 1
step "connected box with both addresses"

tmux send-keys -t "$session" Enter
wait_for "Open Dial-up" 20
step "back in the host after the StartupList"
[ -f "$work/demo/started-after-connect.txt" ] || { echo "FAILED: the StartupList command did not run"; exit 1; }

tmux send-keys -t "$session" Enter
wait_for "1. Home ISP" 5
for _ in 1 2 3 4 5 6; do tmux send-keys -t "$session" Down; done
tmux send-keys -t "$session" Enter
wait_for "Dialling 5550400" 5
wait_for "Local IP Address: 198.51.100.23" 1
step "the log in the viewer"
tmux send-keys -t "$session" Escape
wait_for "Open Dial-up" 5
tmux send-keys -t "$session" Escape
wait_for "KELHOST-EXITED 0" 5
step "quit"
echo "demo ok"
