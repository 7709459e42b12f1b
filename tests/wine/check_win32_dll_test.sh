#!/usr/bin/env bash
# scripts/check-win32-dll passes the product DLL and refuses each fault that
# would keep a Windows 95 family system or NT 4.0 from loading or running
# it: a TLS directory, an import that Windows 95 or NT 4.0 does not export,
# an import of the NT family's functions that the 95 family does not
# implement (tests/wine/check_fault_plugin.cpp, built by the win32 preset),
# and an OS or subsystem version above 4.0 (copies of the product DLL with
# the version patched). Then the package (the win32 preset's target
# "package"): the folder a user copies, with the DLL, which passes the check
# as packed, and its texts in both languages.
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

# A copy of DLL at DEST whose version at OFFSET of the PE optional header
# (40: OS, 48: subsystem) is MAJOR.0.
patched_copy() {  # patched_copy DLL DEST OFFSET MAJOR
  python3 - "$@" <<'EOF'
import struct, sys
source, dest, offset, major = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
image = bytearray(open(source, "rb").read())
pe = struct.unpack_from("<I", image, 0x3C)[0]
assert image[pe:pe + 4] == b"PE\0\0"
struct.pack_into("<HH", image, pe + 24 + offset, major, 0)
open(dest, "wb").write(image)
EOF
}

unpacked=$(mktemp -d)
copies=$(mktemp -d)
trap 'rm -rf "$unpacked" "$copies"' EXIT
expect "the product DLL passes" ok "$build/vezuzaziz.dll"
expect "a TLS directory is refused" "the DLL has a TLS directory" "$build/check_fault_tls.dll"
expect "an import outside the lists is refused" "kernel32.dll GetTickCount64" "$build/check_fault_import.dll"
expect "a static import of an NT-family function is refused" "the Windows 95 family does not implement" "$build/check_fault_nt_import.dll"
patched_copy "$build/vezuzaziz.dll" "$copies/subsystem5.dll" 48 5
expect "subsystem version 5.0 is refused" "the subsystem version is 5.0" "$copies/subsystem5.dll"
patched_copy "$build/vezuzaziz.dll" "$copies/os5.dll" 40 5
expect "OS version 5.0 is refused" "the OS version is 5.0" "$copies/os5.dll"
zip=$(ls "$build"/vezuzaziz-*.zip 2>/dev/null | head -1)
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
