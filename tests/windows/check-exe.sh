#!/usr/bin/env bash
# Static checks of a built Tallyglass.exe (gui) or Tallyglass.com (console), read with the mingw binutils: image
# kind, subsystem, the embedded manifest (well-formed; asInvoker, no UI access, supported Windows versions; the
# message-box program's Common Controls 6 and DPI awareness, the console program's long paths), the version
# information (with the licence), the imported DLLs (system DLLs only) and the C runtime's formats.
# Usage: check-exe.sh OBJDUMP OBJCOPY EXE PE32|PE32+ VERSION [gui|console]
set -uo pipefail
objdump=$1 objcopy=$2 exe=$3 kind=$4 version=$5 program=${6:-gui}
failures=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}

headers=$("$objdump" -p "$exe") || { echo "FAILED: $exe is not a PE image"; exit 1; }
magic=$(sed -n 's/^Magic[[:space:]]*[0-9a-f]*[[:space:]]*(\(.*\))$/\1/p' <<<"$headers")
check "image kind is $kind (found: $magic)" test "$magic" = "$kind"
subsystem=$(sed -n 's/^Subsystem[[:space:]]*\([0-9a-f]*\).*/\1/p' <<<"$headers")
if [ "$program" = console ]; then
  check "subsystem is 3, Windows console (found: $subsystem)" test "$subsystem" = 00000003
else
  check "subsystem is 2, Windows GUI (found: $subsystem)" test "$subsystem" = 00000002
fi

# The resource tree: type 24 (RT_MANIFEST) and type 16 (RT_VERSION), each with the one name 1.
resources=$(sed -n '/The .rsrc Resource Directory section/,/^$/p' <<<"$headers")
resource() {  # resource TYPE-IN-HEX
  grep -Pzq "Entry: ID: 0x0000$1[^\n]*\n[^\n]*Name Table[^\n]*\n[^\n]*Entry: ID: 0x000001," <<<"$resources"
}
check "resource type 24 (manifest) with ID 1" resource 18
check "resource type 16 (version) with ID 1" resource 10
rsrc=$(mktemp)
trap 'rm -f "$rsrc"' EXIT
"$objcopy" -O binary --only-section=.rsrc "$exe" "$rsrc"
levels=$(grep -ao '<requestedExecutionLevel[^>]*>' "$rsrc")
check "one requested execution level (found: $levels)" test "$(grep -c . <<<"$levels")" -eq 1
check "execution level asInvoker" grep -q 'level="asInvoker"' <<<"$levels"
check "no UI access" grep -q 'uiAccess="false"' <<<"$levels"
# The manifest on one line, blanks squeezed, for the elements that span lines.
manifest=$(LC_ALL=C grep -aPzo '(?s)<assembly .*</assembly>' "$rsrc" | tr -s '[:space:]\0' ' ')
# Windows refuses to start a program whose manifest is not well-formed; Wine does not mind.
check "manifest is well-formed XML" xmllint --noout - <<<"$manifest"
identity=Tallyglass
[ "$program" = console ] && identity=Tallyglass.Command
check "manifest version $version.0" \
  grep -qF "<assemblyIdentity type=\"win32\" name=\"$identity\" version=\"$version.0\"/>" <<<"$manifest"
settings=$(grep -o '<application xmlns="urn:schemas-microsoft-com:asm.v3"> <windowsSettings>.*</windowsSettings>' \
           <<<"$manifest")
ns=http://schemas.microsoft.com/SMI
if [ "$program" = console ]; then
  check "long paths" grep -qF "<longPathAware xmlns=\"$ns/2016/WindowsSettings\">true</longPathAware>" <<<"$settings"
else
cc6='<dependency> <dependentAssembly> <assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls"'
cc6+=' version="6.0.0.0" processorArchitecture="*" publicKeyToken="6595b64144ccf1df"'
check "depends on Common Controls 6" grep -qF "$cc6" <<<"$manifest"
check "dpiAware true/pm" grep -qF "<dpiAware xmlns=\"$ns/2005/WindowsSettings\">true/pm</dpiAware>" <<<"$settings"
check "dpiAwareness PerMonitorV2" \
  grep -qF "<dpiAwareness xmlns=\"$ns/2016/WindowsSettings\">PerMonitorV2</dpiAwareness>" <<<"$settings"
fi
compatibility=$(grep -o '<compatibility xmlns="urn:schemas-microsoft-com:compatibility.v1">.*</compatibility>' \
                <<<"$manifest")
for os in 7:35138b9a-5d96-4fbd-8e2d-a2440225f93a 8:4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 \
          8.1:1f676c76-80e1-4239-95bb-83d0f6d0da78 10/11:8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
  check "supports Windows ${os%%:*}" grep -qF "<supportedOS Id=\"{${os#*:}}\"/>" <<<"$compatibility"
done

# The version information: UTF-16 strings, each value after its key; and the fixed part that Explorer shows as
# the file version (VS_FIXEDFILEINFO: signature, structure version, file and product versions, little-endian).
strings16=$("${objdump%objdump}strings" -a -el "$rsrc")
file=Tallyglass.exe
[ "$program" = console ] && file=Tallyglass.com
for pair in ProductName=Tallyglass FileVersion="$version" ProductVersion="$version" OriginalFilename=$file \
            "LegalCopyright=Copyright the Tallyglass authors. Licensed under the GNU GPL, version 2 or later"; do
  found=$(grep -A1 -xF "${pair%%=*}" <<<"$strings16" | sed -n 2p)
  check "version string $pair (found: $found)" test "$found" = "${pair#*=}"
done
IFS=. read -r major minor patch <<<"$version"
fixed=$(printf '\\x%02x\\x00' "$minor" "$major" 0 "$patch")
check "fixed file and product version $version" \
  env LC_ALL=C grep -qaP "\xbd\x04\xef\xfe\x00\x00\x01\x00$fixed$fixed" "$rsrc"

dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | sort -f | tr '\n' ' ')
others=$(tr ' ' '\n' <<<"$dlls" |
         grep -v -i -x -E 'kernel32\.dll|user32\.dll|shlwapi\.dll|advapi32\.dll|msvcrt\.dll|api-ms-win-crt-[a-z0-9-]+\.dll|' || true)
check "imports system DLLs only (found: $dlls)" test -z "$others"
for needed in KERNEL32.dll USER32.dll SHLWAPI.dll msvcrt.dll; do
  check "imports $needed" grep -qiw "$needed" <<<"$dlls"
done
# Formats come from Windows' own C runtime: mingw-w64's C99 printf and the gdtoa it brings are not linked in.
# Read from the symbol table, which the build tree's exe keeps.
symbols=$("${objdump%objdump}nm" "$exe" 2>/dev/null)
check "has a symbol table" test -n "$symbols"
mingw=$(grep -oE '[[:space:]][_]*(mingw_[a-z]*printf|mingw_pformat|[a-z]*dtoa[a-z_]*)$' <<<"$symbols" | xargs)
check "no mingw-w64 printf, no gdtoa (found: $mingw)" test -z "$mingw"
# Only the command reads the embedded files: libzip is linked into it, and kept out of the message-box program.
if [ "$program" = console ]; then
  check "libzip linked in" grep -qE "[[:space:]]_?zip_open_from_source\$" <<<"$symbols"
else
  check "no libzip" bash -c '! grep -qE "[[:space:]]_?zip_[a-z_]+$" <<<"$1"' _ "$symbols"
fi

# The wide start-up of -municode and the calls the program makes: the message box, or the console's wide output.
calls="__wgetmainargs PathFileExistsW CreateFileW GlobalAlloc"
if [ "$program" = console ]; then calls+=" GetStdHandle GetConsoleMode WriteConsoleW"; else calls+=" MessageBoxW PathUnquoteSpacesW MultiByteToWideChar"; fi
for name in $calls; do
  check "imports $name" grep -qE "[[:space:]]$name\$" <<<"$headers"
done

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed for $exe"; exit 1; }
echo "all checks passed for $exe"
