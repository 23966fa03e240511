#!/usr/bin/env bash
# Checks what the Windows program file carries besides its code: a GUI-subsystem x86-64
# program, its icon group of seven PNG images, its version record, no manifest, and an import
# table that names only DLLs Windows never takes from the program's own folder.
#   windows-program-file.sh PROGRAM.exe
set -uo pipefail
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

hex_of() { od -An -tx1 -v "$1" | tr -d ' \n'; }

check_header() {
    local headers
    headers=$(x86_64-w64-mingw32-objdump -p "$program") || { fail "objdump cannot read $program"; return; }
    grep -q "file format pei-x86-64" <<<"$headers" || fail "not an x86-64 PE program"
    grep -Eq "^Magic[[:space:]]+020b" <<<"$headers" || fail "not a PE32+ image"
    grep -Eq "^Subsystem[[:space:]]+00000002[[:space:]]+\(Windows GUI\)" <<<"$headers" ||
        fail "not a GUI-subsystem program: $(grep Subsystem <<<"$headers" | tr '\n' ' ')"
}

# The DLLs that Windows always maps from its system folder, whatever lies beside the program:
# the values under HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs on 64-bit
# Windows 10 and 11 (the WOW64 and emulation entries left out), plus ntdll, which every process
# has mapped before its imports are looked at. The system's \KnownDlls section holds more (the
# dependencies of these, such as bcrypt and crypt32 on Windows 10), but which ones varies with
# the build of Windows: only the registry's list is counted on. Lower case, without ".dll".
known_dlls="advapi32 clbcatq combase comdlg32 coml2 difxapi gdi32 gdiplus imagehlp imm32 kernel32
msctf msvcrt normaliz nsi ntdll ole32 oleaut32 psapi rpcrt4 sechost setupapi shcore shell32
shlwapi user32 wldap32 ws2_32"

# The import table is resolved before main runs, so any other DLL it names is searched for
# in the program's folder first. API sets (api-ms-win-*) are resolved by the system's schema,
# never by a search.
check_imports() {
    local headers imported name known
    headers=$(x86_64-w64-mingw32-objdump -p "$program") || { fail "objdump cannot read $program"; return; }
    imported=$(sed -n '/^The Import Tables/,/^The /s/^[[:space:]]*DLL Name: //p' <<<"$headers")
    [ -n "$imported" ] || { fail "no import table found"; return; }
    echo "imports: $(tr '\n' ' ' <<<"$imported")"
    while read -r name; do
        name=$(tr 'A-Z' 'a-z' <<<"${name%.[dD][lL][lL]}")
        [[ $name == api-ms-win-* ]] && continue
        known=0
        for dll in $known_dlls; do [ "$dll" = "$name" ] && known=1; done
        [ "$known" -eq 1 ] || fail "the import table names $name.dll, which Windows looks for beside the program first"
    done <<<"$imported"
}

check_resource_list() {
    wrestool -l "$program" >"$work/resources" || { fail "wrestool cannot list the resources"; return; }
    grep -q -- "--type=24" "$work/resources" && fail "the program carries an application manifest"
    [ "$(grep -c -- "--type=14 " "$work/resources")" -eq 1 ] || fail "not exactly one icon group"
    grep -q -- "--type=14 --name=1 " "$work/resources" || fail "the icon group is not resource 1"
    [ "$(grep -c -- "--type=3 " "$work/resources")" -eq 7 ] || fail "not seven icon images"
}

# PNG width from the IHDR chunk: bytes 16 to 19, big-endian.
png_width() { echo $((16#$(hex_of "$1" | cut -c33-40))); }

check_icon_group() {
    wrestool -x -t 14 -n 1 "$program" >"$work/group.ico" || { fail "cannot extract the icon group"; return; }
    local listing expected_sizes="16 24 32 48 64 128 256" index=0 size
    listing=$(icotool -l "$work/group.ico") || { fail "icotool cannot read the icon group"; return; }
    for size in $expected_sizes; do
        index=$((index + 1))
        grep -q -- "--icon --index=$index --width=$size --height=$size --bit-depth=32 " <<<"$listing" ||
            fail "image $index of the group is not a 32-bit $size-pixel image"
    done
    # Each image itself, as the group names it, must be a PNG of that size.
    local names
    names=$(grep -o -- "--type=3 --name=[0-9]*" "$work/resources" | sed 's/.*=//')
    index=0
    for name in $names; do
        index=$((index + 1))
        size=$(cut -d' ' -f"$index" <<<"$expected_sizes")
        wrestool -x --raw -t 3 -n "$name" "$program" >"$work/image-$name" ||
            { fail "cannot extract icon image $name"; continue; }
        [ "$(hex_of "$work/image-$name" | cut -c1-16)" = "89504e470d0a1a0a" ] ||
            { fail "icon image $name is not PNG-compressed"; continue; }
        [ "$(png_width "$work/image-$name")" = "$size" ] || fail "icon image $name is not $size pixels wide"
    done
}

utf16_hex() { printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 -v | tr -d ' \n'; }

check_version_record() {
    wrestool -x --raw -t 16 "$program" >"$work/version" || { fail "cannot extract the version record"; return; }
    local hex fixed key value
    hex=$(hex_of "$work/version")
    # Each entry is its key in UTF-16, a NUL, padding to four bytes, then its value and a NUL.
    while IFS='=' read -r key value; do
        grep -Eq "$(utf16_hex "$key")(0000)+$(utf16_hex "$value")0000" <<<"$hex" ||
            fail "version string $key is not \"$value\""
    done <<'STRINGS'
CompanyName=ZARN
FileDescription=ZARN Setup
FileVersion=0.3.0
InternalName=ZARN-Setup
OriginalFilename=ZARN-Setup.exe
ProductName=ZARN
ProductVersion=0.3.0
STRINGS
    # The one string table is named by language 0409 and code page 1200 (04B0).
    grep -Eq "$(utf16_hex StringFileInfo)0000.{12}$(utf16_hex 040904B0)0000" <<<"$hex" ||
        fail "the string table is not for language 0409 and code page 1200"
    grep -Eq "$(utf16_hex Translation)(0000)+0904b004" <<<"$hex" ||
        fail "the translation entry does not name language 0409 and code page 1200"
    # The fixed part after its signature FEEF04BD: structure version, file version 0.3.0.0,
    # product version 0.3.0.0, flags mask, flags, the NT 32-bit Windows system, an application.
    fixed=$(sed -n 's/.*bd04effe\(.\{72\}\).*/\1/p' <<<"$hex")
    [ "${fixed:8:32}" = "03000000000000000300000000000000" ] || fail "fixed file and product version are not 0.3.0.0"
    [ "${fixed:56:16}" = "0400040001000000" ] || fail "fixed part is not an application for Windows NT (32-bit interface)"
}

check_header
check_imports
check_resource_list
check_icon_group
check_version_record
if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed for $program" >&2
    exit 1
fi
echo "$program: GUI x86-64 program, only known DLLs imported, seven PNG icon images, version 0.3.0, no manifest"
