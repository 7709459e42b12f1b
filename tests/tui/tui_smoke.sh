#!/bin/sh
# Drives tui_driver in a detached tmux session of a fixed size and checks
# what a person would see at each screen, and the answers the driver got.
#   tui_smoke.sh TUI_DRIVER HELP_FILE
# Exit 77 (skipped) when tmux is not installed.
set -u

driver=$1
help_file=$2
if ! command -v tmux >/dev/null 2>&1; then
  echo "tui_smoke: tmux is not installed; skipped"
  exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tui_smoke.XXXXXX")
socket="tui_smoke_$$"
tm() { tmux -L "$socket" -f /dev/null "$@"; }
cleanup() {
  tm kill-server >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

out="$work/results"
failures=0
fail() {
  echo "FAIL: $*"
  echo "--- screen:"
  cat "$work/screen" 2>/dev/null
  echo "--- results:"
  cat "$out" 2>/dev/null
  failures=$((failures + 1))
}

capture() { tm capture-pane -p -t smoke > "$work/screen" 2>/dev/null; }

# Waits until the screen shows the text (fixed string), up to 20 s.
wait_screen() {
  for _ in $(seq 200); do
    capture
    grep -qF -- "$1" "$work/screen" && return 0
    sleep 0.1
  done
  fail "the screen never showed: $1"
  return 1
}

# Waits until the screen no longer shows the text.
wait_gone() {
  for _ in $(seq 200); do
    capture
    grep -qF -- "$1" "$work/screen" || return 0
    sleep 0.1
  done
  fail "the screen still shows: $1"
  return 1
}

# Waits until the result file has the line (exact).
wait_result() {
  for _ in $(seq 200); do
    grep -qxF -- "$1" "$out" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "no result line: $1"
  return 1
}

# The screen is drawn in pieces as the program's output reaches tmux, so
# every check waits for the screen to settle on what it expects.
screen_has() { wait_screen "$1"; }
screen_lacks() { wait_gone "$1"; }

# Waits until the first row starts with the text.
top_line() {
  for _ in $(seq 200); do
    capture
    head -n 1 "$work/screen" | grep -q "^$1" && return 0
    sleep 0.1
  done
  fail "${2:-the first row does not start with: $1}"
  return 1
}

# Resizes the window and waits until the program has drawn for the new
# size (TEXT shows only then). tmux hands a pane its new size up to a
# quarter of a second after resize-window when the pane was resized
# shortly before, so keys sent at once would reach the program while it
# still has the old size.
resize() {
  tm resize-window -t smoke -x "$1" -y "$2"
  wait_screen "$3"
}
keys() { tm send-keys -t smoke "$@"; }
type_text() { tm send-keys -t smoke -l "$1"; }

# The "editor": appends a line to the file it is given.
cat > "$work/editor" <<'EDITOR'
#!/bin/sh
echo "calc.exe" >> "$1"
EDITOR
chmod +x "$work/editor"
printf 'notepad.exe\n' > "$work/startup.lst"

LC_ALL=C.UTF-8 tm new-session -d -s smoke -x 100 -y 30 \
  "env TERM=xterm-256color LANG=C.UTF-8 LC_ALL=C.UTF-8 VISUAL= EDITOR='$work/editor' \
   '$driver' --out '$out' --help-file '$help_file' --edit '$work/startup.lst'; sleep 5"

# The main menu: frame, title, bottom text, rows (code page 437 shown as
# UTF-8), separators, the help topic on F1.
wait_screen "Dial-up" || exit 1
screen_has "╔"
screen_has "═ Dial-up ═"
screen_has "1. Office"
screen_has "2. Büro"
screen_has "Hang up all connections"
screen_has "╟────"
screen_has "Enter dial  F4 edit  Ins new  Del delete"
screen_has "kelhost"
keys F1
wait_screen "Dial-up: the main menu"
screen_has "hot key"
keys Escape
wait_gone "Dial-up: the main menu"
keys Down F4
wait_result "menu row=1 break=0"

# The entry dialog: the password masked; a terminal narrower than the
# dialog shows what fits and the focus still works.
wait_screen "Edit entry"
screen_has "Password:         ******"
screen_lacks "secret"
resize 40 12 "555-0100"
screen_lacks "Name:"
keys Tab Tab
type_text "xyz"
wait_screen "*********"
resize 100 30 "Call-back number:"
screen_has "╔"
screen_has "═ Edit entry ═"
keys Home
type_text "A"
keys Enter
wait_result "dialog result=16 name=[Office] login=[anna] password=[Asecretxyz] numbers=[555-0100,555-0101]"

# The settings dialog: a radio group and check boxes.
wait_screen "(*) Pulse dialling     ( ) Tone dialling"
screen_has "[x] Show connection progress"
screen_has "[ ] Log every connection state"
keys Right Space BTab BTab Space
wait_screen "(*) Tone dialling"
screen_has "( ) Pulse dialling"
screen_has "[x] Log every connection state"
keys Enter
wait_result "config result=10 pulse=0 tone=1 check12=1 check13=1 check14=1 check15=1 check18=1 minspeed=[0]"

# The dial box without buttons stays, with the state text drawn in the
# top-left corner, its title without the text's trailing blank. A resize
# while the program calls nothing (a dial's pause) repaints the whole
# screen at once, the box centred again; then Esc reaches the poll.
wait_result "box shown"
wait_screen "Tries left: 3"
top_line "Connecting the device" "no state text in the top-left corner"
screen_has "Esc stops dialling"
screen_has "═ Dialling ═"
resize 60 16 "╔═══════════ Z:\\"
screen_has "Tries left: 3"
top_line "Connecting the device" "the state text is gone after the resize"
: > "$out.go"
wait_result "pause over"
keys Escape
wait_result "poll key=27"

# RestoreScreen brings back the screen as it was before the box.
wait_result "restored"
wait_gone "Tries left"
screen_lacks "Connecting the device"
screen_has "kelhost"
screen_has "Plugins"
resize 100 30 "╔═════════════════════ Z:\\"
type_text "x"
wait_result "poll key=88"

# A warning box and a confirmation with two buttons.
wait_screen "Dialling interrupted with Esc."
screen_has "[ OK ]"
keys Enter
wait_result "message result=0"
wait_screen "Delete the entry Office?"
keys Right Enter
wait_result "confirm result=1"

# A menu of 2000 rows scrolls.
wait_screen "Row 1 "
screen_has "√ Row 3"
keys End
wait_screen "Row 2000"
screen_lacks "Row 1 "
keys Enter
wait_result "bigmenu row=1999"

# The viewer pages through the file.
wait_screen "log line 1"
keys End
wait_screen "log line 100"
screen_has "Lines 73-100 of 100"
type_text "q"
wait_result "viewer result=1"

# The editor runs with the screen handed over and reports a change.
wait_result "editor result=1"
grep -qx "calc.exe" "$work/startup.lst" || fail "the editor did not edit the file"
wait_result "done"

if [ "$failures" -ne 0 ]; then
  echo "tui_smoke: $failures check(s) failed"
  exit 1
fi
echo "tui_smoke: all checks passed"
