#!/usr/bin/env bash
# scripts/check-win32-dll passes the product DLL and refuses the two faults
# that would keep the Windows 95 family from loading it: a TLS directory,
# and an import that Windows 95 or NT 4.0 does not export
# (tests/wine/check_fault_plugin.cpp, built by the win32 preset). Then the
# package (the win32 preset's target "package"): the folder a user copies,
# with the DLL, which passes the check as packed, and its texts in both languages.
# Usage: tests/wine/check_win32_dll_test.sh [BUILD_DIR]   (default build/win32)
# Ends with "N passed, N failed".
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/win32}
check=$root/scripts/check-win32-dll
passed=0
failed=0

expect() {  # expect NAME ok|"TEXT OF THE FAULT" DLL
  local name=$1 want=$2 dll=$3 out status
  out=$("$check" "$dll" 2>&1)
  status=$?
  if [ "$want" = ok ]; then
    [ $status -eq 0 ] && grep -q 'product DLL ok' <<<"$out"
  else
    [ $status -ne 0 ] && grep -qF -- "$want" <<<"$out"
  fi
  if [ $? -eq 0 ]; then
    passed=$((passed + 1))
    echo "ok   $name"
  else
    failed=$((failed + 1))
    echo "FAIL $name (status $status):"
    sed 's/^/    /' <<<"$out"
  fi
}

expect "the product DLL passes" ok "$build/vezuzaziz.dll"
expect "a TLS directory is refused" "the DLL has a TLS directory" "$build/check_fault_tls.dll"
expect "an import outside the lists is refused" "kernel32.dll GetTickCount64" "$build/check_fault_import.dll"
zip=$(ls "$build"/vezuzaziz-*.zip 2>/dev/null | head -1)
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
if [ -n "$zip" ] && python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$unpacked"; then
  contents=$(cd "$unpacked" && find . -type f | LC_ALL=C sort | tr '\n' ' ')
  want="./VezUzaziz/install.txt ./VezUzaziz/vezuzaziz.dll ./VezUzaziz/vezuzaziz.hlp ./VezUzaziz/vezuzaziz.lng ./VezUzaziz/vezuzaziz_ru.hlp ./VezUzaziz/vezuzaziz_ru.lng "
  if [ "$contents" = "$want" ]; then
    passed=$((passed + 1))
    echo "ok   the package holds the DLL and its texts, English and Russian"
  else
    failed=$((failed + 1))
    echo "FAIL the package $zip holds: $contents"
  fi
  expect "the packed DLL passes" ok "$unpacked/VezUzaziz/vezuzaziz.dll"
else
  failed=$((failed + 1))
  echo "FAIL no package in $build (cmake --build --preset win32 --target package)"
fi
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
