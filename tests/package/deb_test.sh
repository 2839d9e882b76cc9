#!/bin/sh
# The Debian package: built with CPack from the build's programs, unpacked into a temporary
# root, and started there through its launcher as a new user would, then as the same user
# after an update.
# Usage: deb_test.sh <cpack> <build folder> <source folder> <version>

. "$(dirname "$0")/common.sh"

cpack=$1
build=$2
source=$3
version=$4
command -v dpkg-deb >/dev/null || skip "dpkg-deb is missing (Debian's dpkg)"
command -v dpkg-shlibdeps >/dev/null || skip "dpkg-shlibdeps is missing (Debian's dpkg-dev)"
[ -x "$cpack" ] || skip "cpack is missing"

if ! "$cpack" -G DEB -B "$work/package" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "FAIL: cpack"
    exit 1
fi
deb=$(ls "$work"/package/*.deb)
echo "package: $(basename "$deb"), $(wc -c <"$deb") bytes"

# -- What the package holds --------------------------------------------------------------------
check "package name" [ "$(dpkg-deb -f "$deb" Package)" = varnel ]
check "package version from the project" [ "$(dpkg-deb -f "$deb" Version)" = "$version" ]
check "dependencies of the linked libraries computed" sh -c "dpkg-deb -f '$deb' Depends | grep -q 'libqt6widgets6'"
check "the SVG plug-in for the icons among the dependencies" sh -c "dpkg-deb -f '$deb' Depends | grep -q 'libqt6svg6'"
root=$work/root
dpkg-deb -x "$deb" "$root"
program=$root/opt/varnel
for exe in VarnelClient Quilmer; do
    check "$exe installed under /opt/varnel" [ -x "$program/$exe" ]
done
check "the executables are stripped" sh -c "[ \$(wc -c <'$program/VarnelClient') -lt \$(wc -c <'$build/program/VarnelClient') ]"
for rel in $(cd "$source/dist" && find . -type f ! -path './receive/*' | sed 's|^\./||'); do
    check "shipped file $rel installed" same "$source/dist/$rel" "$program/$rel"
done
for rel in $(cd "$source/dist/receive" && find . -type f | sed 's|^\./||'); do
    check "demo message $rel installed for the demo alone" same "$source/dist/receive/$rel" "$program/demo/receive/$rel"
done
check "no demo message among the user's folders" absent "$program/receive"
check "launcher" [ -x "$root/usr/bin/varnel" ]
check "merge tool on the command line" [ "$(readlink "$root/usr/bin/quilmer")" = /opt/varnel/Quilmer ]
check "command-line program through the launcher" [ "$(readlink "$root/usr/bin/varnel-cli")" = varnel ]
check "command-line program installed under /opt/varnel" [ -x "$program/varnel-cli" ]
check "its manual page" same "$source/cli/varnel-cli.1" "$root/usr/share/man/man1/varnel-cli.1"
check "desktop entry" contains "$root/usr/share/applications/varnel.desktop" 'Exec=varnel'
check "scalable icon" same "$source/shell/icons/varnel.svg" "$root/usr/share/icons/hicolor/scalable/apps/varnel.svg"
if command -v desktop-file-validate >/dev/null; then
    check "desktop entry valid" desktop-file-validate "$root/usr/share/applications/varnel.desktop"
fi

# -- A new user starts the client --------------------------------------------------------------
home=$work/home
data=$work/data
user=$data/varnel
launch first
check "first start: the client starts from the user's own folder" [ "$client_exe" = "$user/VarnelClient" ]
for rel in $(cd "$program" && find . -type f ! -path './demo/*' | sed 's|^\./||'); do
    check "first start: $rel copied" same "$program/$rel" "$user/$rel"
done
check "first start: a settings file to write" [ -f "$user/varnel_client.ini" ] && [ -w "$user/varnel_client.ini" ]
for folder in work send receive; do
    check "first start: $folder folder" [ -d "$user/$folder" ]
    # The sending journal (work/journal) is the client's own record, not data of the user's.
    check "first start: $folder folder empty" [ -z "$(ls -A "$user/$folder" | grep -vx journal)" ]
done

# -- The demo, beside the user's own folder ----------------------------------------------------
args=--demo
launch demo unlimited running
args=
check "demo: the client runs from the demo folder" [ "$client_exe" = "$data/varnel-demo/VarnelClient" ]
check "demo: the registry runs beside it" registry_running "$data/varnel-demo"
stop_client
check "demo: the registry stops with the client" registry_stopped "$data/varnel-demo"
check "demo: the demo messages to read" same "$program/demo/receive/DL1A2B.msg" "$data/varnel-demo/receive/DL1A2B.msg"
check "demo: the handbook the registry answers with" [ -f "$data/varnel-demo/archive/handbook/ISSUELIST_20250310.msg" ]
check "demo: the user's receive folder stays empty" [ -z "$(ls -A "$user/receive")" ]

# -- The same user after an update -------------------------------------------------------------
# The user set a value, and the client stored a column width of its own; the new version
# ships a key more.
printf '[Main]\r\nParticipant=1234\r\nLanguage=EN\r\n[Grid_Reports]\r\nTradeDate=1500\r\n' \
    >"$user/varnel_client.ini"
printf '[Extra]\r\nNewShippedKey=yes\r\n' >>"$program/varnel_client.ini"
printf '2.0.0\n' >"$user/.version"
launch update
check "update: the client starts" [ "$started" = yes ]
check "update: the user's value stays" has_line "$user/varnel_client.ini" 'Participant=1234'
check "update: the user's column width stays" has_line "$user/varnel_client.ini" 'TradeDate=1500'
check "update: the new shipped key appears" has_line "$user/varnel_client.ini" 'NewShippedKey=yes'
check "update: the folder takes the new version" [ "$(cat "$user/.version")" = "$version" ]

finish
