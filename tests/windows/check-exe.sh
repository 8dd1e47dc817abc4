#!/usr/bin/env bash
# Static checks of a built Tallyglass.exe, read with the mingw binutils: image kind, GUI subsystem, the embedded
# manifest (execution level asInvoker, no UI access) and the imported DLLs (system DLLs only).
# Usage: check-exe.sh OBJDUMP OBJCOPY EXE PE32|PE32+
set -uo pipefail
objdump=$1 objcopy=$2 exe=$3 kind=$4
failures=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}

headers=$("$objdump" -p "$exe") || { echo "FAILED: $exe is not a PE image"; exit 1; }
magic=$(sed -n 's/^Magic[[:space:]]*[0-9a-f]*[[:space:]]*(\(.*\))$/\1/p' <<<"$headers")
check "image kind is $kind (found: $magic)" test "$magic" = "$kind"
subsystem=$(sed -n 's/^Subsystem[[:space:]]*\([0-9a-f]*\).*/\1/p' <<<"$headers")
check "subsystem is 2, Windows GUI (found: $subsystem)" test "$subsystem" = 00000002

# The resource tree: type 24 (RT_MANIFEST) with the one name 1.
resources=$(sed -n '/The .rsrc Resource Directory section/,/^$/p' <<<"$headers")
check "resource type 24 (manifest) with ID 1" \
  grep -Pzq 'Entry: ID: 0x000018[^\n]*\n[^\n]*Name Table[^\n]*\n[^\n]*Entry: ID: 0x000001,' <<<"$resources"
rsrc=$(mktemp)
trap 'rm -f "$rsrc"' EXIT
"$objcopy" -O binary --only-section=.rsrc "$exe" "$rsrc"
levels=$(grep -ao '<requestedExecutionLevel[^>]*>' "$rsrc")
check "one requested execution level (found: $levels)" test "$(grep -c . <<<"$levels")" -eq 1
check "execution level asInvoker" grep -q 'level="asInvoker"' <<<"$levels"
check "no UI access" grep -q 'uiAccess="false"' <<<"$levels"

dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | sort -f | tr '\n' ' ')
others=$(tr ' ' '\n' <<<"$dlls" | grep -v -i -x -E 'kernel32\.dll|user32\.dll|shlwapi\.dll|msvcrt\.dll|api-ms-win-crt-[a-z0-9-]+\.dll|' || true)
check "imports system DLLs only (found: $dlls)" test -z "$others"
for needed in KERNEL32.dll USER32.dll SHLWAPI.dll; do
  check "imports $needed" grep -qiw "$needed" <<<"$dlls"
done
# The wide start-up of -municode and the calls the program makes.
for name in __wgetmainargs MessageBoxW PathUnquoteSpacesW PathFileExistsW CreateFileW MultiByteToWideChar GlobalAlloc; do
  check "imports $name" grep -qE "[[:space:]]$name\$" <<<"$headers"
done

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed for $exe"; exit 1; }
echo "all checks passed for $exe"
