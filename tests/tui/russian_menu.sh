#!/bin/sh
# kelhost in Russian at a terminal (tmux, UTF-8): the plug-in's code page
# 866 texts shown as Cyrillic, the menu's frame as wide as its widest text
# in characters (not in bytes), the Russian help on F1, and a name typed in
# Cyrillic stored as code page 866 bytes and shown again in the menu.
#   russian_menu.sh KELHOST PLUGIN ENTRYFILE TEXTS_DIR
# TEXTS_DIR holds the language and help files (the build directory).
# Exit 77 (skipped) when tmux is not installed.
set -u
kelhost=$1
plugin=$2
entryfile=$3
texts=$4
if ! command -v tmux >/dev/null 2>&1; then
  echo "russian_menu: tmux is not installed; skipped"
  exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/russian_menu.XXXXXX")
socket="russian_menu_$$"
tm() { tmux -L "$socket" -f /dev/null "$@"; }
cleanup() {
  tm kill-server >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*"
  echo "--- screen:"
  cat "$work/screen" 2>/dev/null
  failures=$((failures + 1))
}
capture() { tm capture-pane -p -t ru > "$work/screen" 2>/dev/null; }
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
keys() { tm send-keys -t ru "$@"; }

mkdir -p "$work/world" "$work/plugin"
printf '[system]\nplatform_id=2\nansi_codepage=1251\noem_codepage=866\n' > "$work/world/system.ini"
printf '[Office]\nLogin=user\nPassword=secret\nDomain=\nNumbers=222\nInterval=0\nTries=1\nCallback=\n' > "$work/entries.txt"
"$entryfile" pack "$work/entries.txt" "$work/plugin/vezuzaziz.ini" || exit 1
ln -s "$plugin" "$work/plugin/vezuzaziz.so"
cp "$texts"/vezuzaziz*.lng "$texts"/vezuzaziz*.hlp "$work/plugin/"

LC_ALL=C.UTF-8 tm new-session -d -s ru -x 100 -y 30 \
  "cd '$work' && env TERM=xterm-256color LANG=C.UTF-8 LC_ALL=C.UTF-8 WINAPI_WORLD='$work/world' \
   '$kelhost' --plugin '$work/plugin/vezuzaziz.so' --language Russian; sleep 5"

wait_screen "═ Дозвон ═" || exit 1
wait_screen "1. Office"
wait_screen "Разорвать все соединения"
wait_screen "Системная телефонная книга"
# The bottom text is the widest: the frame ends right after it.
wait_screen "╚═ Enter набор  F4 правка  Ins новая  Del удалить ═╝"
keys F1
wait_screen "Дозвон: главное меню"
wait_screen "горячая клавиша"
keys Escape
keys Insert
wait_screen "═ Новая запись ═"
wait_screen "Обратный вызов:"
tm send-keys -t ru -l "Офис"
keys Tab Tab Tab Tab
tm send-keys -t ru -l "333"
keys Enter
wait_screen "2. Офис"
"$entryfile" unpack "$work/plugin/vezuzaziz.ini" > "$work/unpacked"
# "Офис" in code page 866.
grep -q "$(printf '^\\[\216\344\250\341\\]$')" "$work/unpacked" || fail "the entry file lacks [Офис] in code page 866: $(od -c "$work/unpacked" | head -20)"
keys Escape

if [ "$failures" -ne 0 ]; then
  echo "russian_menu: $failures check(s) failed"
  exit 1
fi
echo "russian_menu: all checks passed"
