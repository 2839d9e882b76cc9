#!/bin/sh
# The launcher on an installed tree: the user's program folder made on the first start, left
# alone on later ones, refreshed for a new version without losing anything of the user's.
# Usage: launcher_test.sh <cmake> <build folder> <version>

. "$(dirname "$0")/common.sh"

cmake=$1
build=$2
version=$3

# A tree as the version before would have left it: the stamp says 2.0.0.
as_older_version() {
    printf '2.0.0\n' >"$user/.version"
}

crlf() {
    printf '%s\r\n' "$@"
}

not() {
    ! "$@"
}

# The demo's own settings are the shipped ones with the demo's values.
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
check "demo settings: the shipped file with the demo's participant and mark" \
    [ "$(tr -d '\r' <"$source_dir/dist/varnel_client.ini" |
        sed -e 's/^Participant=$/Participant=MC0001200000/' -e 's/^Language=RU$/Language=RU\nDemo=1/')" = \
    "$(tr -d '\r' <"$source_dir/dist/demo/varnel_client.ini")" ]

# -- First start: the folder is made from the installed files ---------------------------------
# The install tree of the build, as the package lays it out.
root=$work/root
"$cmake" --install "$build" --prefix "$root" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
shipped=$root/opt/varnel
mkdir -p "$shipped/demo/receive"
printf '<sample/>' >"$shipped/demo/receive/sample.msg"
home=$work/home
data=relative/path # not absolute: ignored, as the XDG rules have it
user=$home/.local/share/varnel
launch first
check "first start: the client runs from the user's folder" [ "$client_exe" = "$user/VarnelClient" ]
for rel in $(cd "$shipped" && find . -type f ! -path './demo/*' | sed 's|^\./||'); do
    check "first start: $rel copied" same "$shipped/$rel" "$user/$rel"
done
for rel in VarnelClient Quilmer varnel_client.ini; do
    check "first start: $rel is a copy, not a link" [ -f "$user/$rel" ] && [ ! -L "$user/$rel" ]
done
for folder in work send receive; do
    check "first start: $folder made" [ -d "$user/$folder" ]
    # The sending journal (work/journal) is the client's own record, not data of the user's.
    check "first start: $folder empty, no demo data among the user's files" \
        [ -z "$(ls -A "$user/$folder" | grep -vx journal)" ]
done
check "first start: the demo stays out of the user's folder" absent "$user/demo"
check "first start: the folder is stamped with the version" [ "$(cat "$user/.version")" = "$version" ]
check "first start: nothing left over" [ -z "$(leftovers "$user")" ]
cp -a "$user" "$work/made" # a fresh folder for the cases below

# -- A later start of the same version changes nothing ----------------------------------------
crlf '[Main]' 'Participant=7777' >"$user/varnel_client.ini"
printf 'mine' >"$user/work/report.xml"
before=$(snapshot "$user")
launch again
check "same version: the client starts" [ "$started" = yes ]
check "same version: the folder is left as it was" [ "$before" = "$(snapshot "$user")" ]

# -- A newer version: programs and shipped files refreshed, the user's settings merged --------
crlf '[Main]' 'Participant=' 'Language=RU' 'NewMainKey=new default' '' '[Path]' 'FolderWork=.\work' \
    '' '[Added]' 'Fresh=1' >"$shipped/varnel_client.ini"
printf 'changed by the package' >"$shipped/only_package.xml"
printf 'changed by the package' >"$shipped/both.xml"
printf 'old shipped' >"$shipped/only_user.xml"
mkdir -p "$shipped/xsl"
printf 'new file' >"$shipped/xsl/new.xsl"
printf '<new sample/>' >"$shipped/demo/receive/new.msg"
# What the previous version shipped, and the user's changes to it.
for name in only_package.xml both.xml only_user.xml; do
    printf 'old shipped' >"$user/$name"
    printf 'old shipped' >"$user/.shipped/$name"
done
printf 'edited by the user' >"$user/both.xml"
printf 'edited by the user' >"$user/only_user.xml"
crlf '[Main]' 'Participant=' 'Language=RU' '' '[Path]' 'FolderWork=.\work' >"$user/.shipped/varnel_client.ini"
crlf '; the user'"'"'s own' '[main]' 'Participant=1234' 'Language=EN' '' '[Path]' 'FolderWork=D:\reports' \
    '[Grid_Reports]' 'TradeDate=1500' 'Price=800' '[ErrorMessage]' 'S1_RU=Свой текст' |
    iconv -f UTF-8 -t WINDOWS-1251 >"$user/varnel_client.ini"
cp "$user/varnel_client.ini" "$work/user_settings.ini"
printf 'an older build' >"$user/Quilmer"
printf 'kept from before' >"$user/varnel_client.ini.2.0.0.bak"
as_older_version
launch upgrade
ini=$user/varnel_client.ini
check "upgrade: the client starts" [ "$started" = yes ]
check "upgrade: stamp renewed" [ "$(cat "$user/.version")" = "$version" ]
check "upgrade: executables replaced" same "$shipped/Quilmer" "$user/Quilmer"
check "upgrade: a file only the package changed is replaced" same "$shipped/only_package.xml" "$user/only_package.xml"
check "upgrade: a file both changed is replaced" same "$shipped/both.xml" "$user/both.xml"
check "upgrade: ... and the user's version kept beside" contains "$user/both.xml.2.0.0.bak" 'edited by the user'
check "upgrade: ... and the user told" contains "$work/upgrade.err" "both.xml.2.0.0.bak"
check "upgrade: a file only the user changed stays" contains "$user/only_user.xml" 'edited by the user'
check "upgrade: a new file in a new folder" same "$shipped/xsl/new.xsl" "$user/xsl/new.xsl"
check "upgrade: the user's work stays" contains "$user/work/report.xml" mine
check "upgrade: no sample in the receive folder" [ -z "$(ls -A "$user/receive")" ]
check "upgrade: the user's values stay" has_line "$ini" 'Participant=1234'
check "upgrade: ... every one" has_line "$ini" 'FolderWork=D:\reports'
check "upgrade: a new shipped key appears" has_line "$ini" 'NewMainKey=new default'
check "upgrade: a new shipped section appears" has_line "$ini" 'Fresh=1'
check "upgrade: the user's column widths stay" has_line "$ini" 'TradeDate=1500'
check "upgrade: the user's message texts stay, in their code page" \
    has_line "$ini" "$(printf 'S1_RU=Свой текст' | iconv -f UTF-8 -t WINDOWS-1251)"
check "upgrade: the settings file keeps CR LF line ends" [ "$(tr -cd '\n' <"$ini" | wc -c)" = "$(tr -cd '\r' <"$ini" | wc -c)" ]
check "upgrade: the settings as they were are kept" same "$work/user_settings.ini" "$ini.2.0.0.1.bak"
check "upgrade: ... beside an earlier copy" contains "$ini.2.0.0.bak" 'kept from before'
check "upgrade: nothing left over" [ -z "$(leftovers "$user")" ]

# -- Settings files the merge tool cannot take, and ones it can after a little help -----------
for case in bom malformed readonly lf unchanged; do
    data=$work/data-$case
    user=$data/varnel
    mkdir -p "$data"
    cp -a "$work/made" "$user"
    crlf '[Main]' 'Participant=' 'Language=RU' 'Another=2' >"$shipped/varnel_client.ini"
    crlf '[Main]' 'Participant=' 'Language=RU' >"$user/.shipped/varnel_client.ini"
    case $case in
    bom) printf '\357\273\277[Main]\r\nParticipant=1234\r\n' >"$user/varnel_client.ini" ;;
    malformed) printf '[Main]\r\nParticipant=1234\r\n\tLanguage=EN\r\n' >"$user/varnel_client.ini" ;;
    readonly) chmod a-w "$user/varnel_client.ini" ;;
    lf) printf '[Main]\nParticipant=1234\n[Grid_Reports]\nTradeDate=1500' >"$user/varnel_client.ini" ;;
    unchanged) cp "$user/.shipped/varnel_client.ini" "$user/varnel_client.ini" ;;
    esac
    cp "$user/varnel_client.ini" "$work/before.ini"
    as_older_version
    if [ "$case" = readonly ]; then
        launch "$case" unlimited exec # the client refuses a protected settings file
    else
        launch "$case"
        check "$case: the client starts" [ "$started" = yes ]
    fi
    check "$case: the programs are refreshed all the same" [ "$(cat "$user/.version")" = "$version" ]
    case $case in
    bom | malformed)
        check "$case: the settings file is left exactly as it was" same "$work/before.ini" "$user/varnel_client.ini"
        check "$case: the user is told why" contains "$work/$case.err" 'Ошибка 9'
        check "$case: ... and what became of the file" contains "$work/$case.err" 'оставлен как был'
        ;;
    readonly)
        check "readonly: the settings file is left as it was" same "$work/before.ini" "$user/varnel_client.ini"
        check "readonly: ... and stays protected" [ -z "$(find "$user/varnel_client.ini" -perm -u=w)" ]
        check "readonly: the user is told" contains "$work/$case.err" 'защищён от записи'
        ;;
    lf)
        check "lf: merged with the user's value" has_line "$user/varnel_client.ini" 'Participant=1234'
        check "lf: ... the user's own section" has_line "$user/varnel_client.ini" 'TradeDate=1500'
        check "lf: ... and the new key" has_line "$user/varnel_client.ini" 'Another=2'
        ;;
    unchanged)
        check "unchanged: replaced by the new shipped file" same "$shipped/varnel_client.ini" "$user/varnel_client.ini"
        ;;
    esac
    check "$case: nothing left over" [ -z "$(leftovers "$user")" ]
done

# -- The demo: a folder of its own with the demo messages, and the registry beside the client --
demo=$data/varnel-demo # beside the user folder of the last case above
# The registry reads the folders from the settings, as the package ships them.
crlf '' '[Path]' 'FolderWork=.\work' 'FolderSend=.\send' 'FolderReceive=.\receive' >>"$shipped/varnel_client.ini"
before=$(snapshot "$user")
args=--demo
launch demo unlimited running
check "demo: the client runs from the demo folder" [ "$client_exe" = "$demo/VarnelClient" ]
check "demo: the registry runs beside it" registry_running "$demo"
stop_client
check "demo: the registry stops with the client" registry_stopped "$demo"
args=
for rel in sample.msg new.msg; do
    check "demo: $rel in the demo receive folder" same "$shipped/demo/receive/$rel" "$demo/receive/$rel"
done
check "demo: the demo folder has its settings" [ -f "$demo/varnel_client.ini" ]
# Its own: the participant of the demo messages, and the mark that gives it a title of its own.
check "demo: the settings name the demo messages' participant" \
    has_line "$demo/varnel_client.ini" 'Participant=MC0001200000'
check "demo: the settings mark the demo" has_line "$demo/varnel_client.ini" 'Demo=1'
check "demo: its settings are kept as shipped" \
    same "$shipped/demo/varnel_client.ini" "$demo/.shipped/varnel_client.ini"
check "demo: its settings stay out of its folders" absent "$demo/demo"
check "demo: the user's settings are not the demo's" not has_line "$user/varnel_client.ini" 'Demo=1'
check "demo: the user's folder is left as it was" [ "$before" = "$(snapshot "$user")" ]
check "demo: nothing left over" [ -z "$(leftovers "$demo")" ]
rm "$demo/receive/sample.msg"
args=--demo
launch demo_again
args=
check "demo again: the client starts" [ "$started" = yes ]
check "demo again: a message the user removed stays removed" absent "$demo/receive/sample.msg"

# -- No refresh under a running client ---------------------------------------------------------
# A stand-in for a client that runs from the folder: a program that waits.
cp "$user/VarnelClient" "$work/client.saved"
cp "$(command -v sleep)" "$user/VarnelClient"
"$user/VarnelClient" 60 &
running=$!
crlf '[Main]' 'Participant=' 'Language=RU' 'Fourth=4' >"$shipped/varnel_client.ini"
as_older_version
before=$(snapshot "$user")
launch while_running
kill "$running"
wait "$running" 2>/dev/null
check "client running: nothing refreshed" [ "$before" = "$(snapshot "$user")" ]
check "client running: the user is told" contains "$work/while_running.err" 'уже запущен'
mv "$work/client.saved" "$user/VarnelClient"

# -- A refresh that cannot be made leaves the folder as it was --------------------------------
# The copy of the client fails under a file size limit below its size; the other files are
# already copied by then or not at all, and none may take its place.
printf 'x' >>"$user/VarnelClient" # an older build of the client, still runnable
printf 'changed again by the package' >"$shipped/only_package.xml"
crlf '[Main]' 'Participant=' 'Language=RU' 'Third=3' >"$shipped/varnel_client.ini"
as_older_version
before=$(snapshot "$user")
size=$(wc -c <"$shipped/VarnelClient")
launch limited $((size / 512 / 2))
check "refresh refused: the client that was there starts" [ "$client_exe" = "$user/VarnelClient" ]
check "refresh refused: the folder is as it was" [ "$before" = "$(snapshot "$user")" ]
check "refresh refused: the user is told" contains "$work/limited.err" 'не удаётся обновить программу'
launch retried
check "refresh retried: the client starts" [ "$started" = yes ]
check "refresh retried: and is the new one" same "$shipped/VarnelClient" "$user/VarnelClient"
check "refresh retried: the new file is there" same "$shipped/only_package.xml" "$user/only_package.xml"
check "refresh retried: the new key is there" has_line "$user/varnel_client.ini" 'Third=3'

# -- A HOME that begins with "-" ---------------------------------------------------------------
# A relative one, taken from the folder the launcher starts in: no command takes it for an option.
home=-home
data=
launch dash_home
check "HOME beginning with -: the client starts" [ "$started" = yes ]
check "HOME beginning with -: ... from the program folder in that home" \
    [ "$client_exe" = "$(cd "$work" && pwd -P)/-home/.local/share/varnel/VarnelClient" ]
home=$work/home

# -- A program folder someone else could change is refused before it is used ------------------
for case in link_into_open_folder link_to_open_folder link_to_foreign_folder group_writable; do
    data=$work/data-$case
    mkdir -p "$data"
    if [ "$case" = group_writable ]; then
        real=$data/varnel
        mkdir -m 770 "$real"
        chmod 770 "$real" # whatever the umask
    else
        real=$work/elsewhere-$case/varnel
        mkdir -p "$real"
        chmod 700 "$real"
        ln -s "$real" "$data/varnel"
    fi
    case $case in
    link_into_open_folder) chmod 777 "$(dirname "$real")" ;;
    link_to_open_folder) chmod 777 "$real" ;;
    link_to_foreign_folder)
        if [ "$(id -u)" != 0 ]; then
            echo "SKIP: $case: only root can give a folder to another user"
            continue
        fi
        chown 65534:65534 "$real"
        ;;
    esac
    launch "$case"
    check "$case: the client is not started" [ "$started" = no ]
    check "$case: the launcher fails" [ "${status:-0}" -ne 0 ]
    check "$case: the user is told why" contains "$work/$case.err" 'запуск программы'
    check "$case: nothing is put into the folder" [ -z "$(ls -A "$real")" ]
done

# -- The command-line program through the launcher ---------------------------------------------
# A new user's first use makes the same folder the client's first start makes; the program runs
# from it, in the folder it was started in (the file it is given is named from there).
cli_home=$work/cli-home
cli_cwd=$work/cli-cwd
mkdir -p "$cli_home" "$cli_cwd"
printf '\357\273\277Участник;Код ЦБ;№ договора;Внутр. номер;Цена ЦБ;Количество\nMC01;SNEN-AO1;A-1;R-1;10;1\n' \
    >"$cli_cwd/deals.csv"
cli() {
    (cd "$cli_cwd" && env -u XDG_DATA_HOME -u DISPLAY -u QT_QPA_PLATFORM HOME="$cli_home" \
        VARNEL_ROOT="$root" XDG_CONFIG_HOME="$cli_home/.config" sh "$root/usr/bin/varnel-cli" "$@")
}
check "varnel-cli: its version through the launcher" [ "$(cli --version)" = "varnel-cli $version" ]
cli_user=$cli_home/.local/share/varnel
check "varnel-cli: the user's folder made on first use" [ -x "$cli_user/varnel-cli" ]
check "varnel-cli: as the client's first start makes it" same "$shipped/varnel_client.ini" "$cli_user/varnel_client.ini"
check "varnel-cli: stamped with the version" [ "$(cat "$cli_user/.version")" = "$version" ]
cli check --kind deals deals.csv >"$work/cli-check.out" 2>"$work/cli-check.err"
check "varnel-cli: a file named from where it started is checked" [ $? -eq 0 ]
check "varnel-cli: its refused rows, none" has_line "$work/cli-check.out" 'Строка;Поле;Значение;Ошибка'
# Given a program folder, it makes no folder of its own.
other_home=$work/cli-other
mkdir -p "$other_home"
(cd "$cli_cwd" && env -u XDG_DATA_HOME HOME="$other_home" VARNEL_ROOT="$root" \
    XDG_CONFIG_HOME="$other_home/.config" sh "$root/usr/bin/varnel-cli" \
    --program-folder "$cli_user" check --kind deals deals.csv >/dev/null 2>&1)
check "varnel-cli --program-folder: runs on that folder" [ $? -eq 0 ]
check "varnel-cli --program-folder: no folder of its own made" absent "$other_home/.local/share/varnel"

finish
