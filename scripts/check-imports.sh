#!/usr/bin/env bash
# Every given exe may import only DLLs that come with Windows itself: a DLL of
# a library (zlib1.dll, libcurl.dll, libstdc++-6.dll, ...) would make it fail
# to start on a PC that lacks it, even when Wine happens to have one.
set -euo pipefail
allowed='^(kernel32|user32|gdi32|comdlg32|comctl32|shell32|shlwapi|ole32|oleaut32|advapi32|ws2_32|crypt32|bcrypt|secur32|setupapi|hid|version|winhttp|winspool\.drv|uxtheme|oleacc|winmm|rpcrt4|iphlpapi|msvcrt|gdiplus|msimg32|dwmapi|wldap32|normaliz|imm32|api-ms-win-[a-z0-9-]+)(\.dll)?$'
status=0
for exe in "$@"; do
    [ -f "$exe" ] || continue
    while read -r dll; do
        if ! echo "$dll" | tr '[:upper:]' '[:lower:]' | grep -Eq "$allowed"; then
            echo "$exe imports $dll, which Windows does not ship" >&2
            status=1
        fi
    done < <(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
done
[ "$status" = 0 ] && echo "imports: only Windows system DLLs in $# executables"
exit "$status"
