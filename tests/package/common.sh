# Helpers of the package tests, sourced by their scripts. Every test works in a temporary
# folder of its own: an installed root, a home, a data folder and a temporary folder per start.

set -u

failures=0
client=
work=$(mktemp -d "${TMPDIR:-/tmp}/varnel-package.XXXXXX") || exit 1
trap 'stop_client; rm -rf "$work"' EXIT

skip() {
    echo "SKIP: $*"
    exit 77
}

# check <what is expected> <command...>: counts a failure when the command fails.
check() {
    what=$1
    shift
    if ! "$@"; then
        echo "FAIL: $what"
        failures=$((failures + 1))
    fi
}

finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed"
        exit 1
    fi
    echo "all checks passed"
    exit 0
}

same() {
    cmp -s "$1" "$2"
}

absent() {
    [ ! -e "$1" ] && [ ! -L "$1" ]
}

contains() { # <file> <fixed text>
    grep -qF -- "$2" "$1"
}

# Whether a file has the line, CR aside: has_line <file> <line>.
has_line() {
    tr -d '\r' <"$1" | grep -qxF -- "$2"
}

# Every file and folder under a folder with the digest of each file, the launcher's lock left out.
snapshot() {
    (cd "$1" && find . ! -name .lock | sort && find . -type f ! -name .lock -exec md5sum {} + | sort)
}

# Files written beside their place and never renamed into it.
leftovers() {
    find "$1" -name '.*.new' -o -name '.refresh*' -o -name '.shipped.new' -o -name '.shipped.old'
}

stop_client() {
    if [ -n "$client" ]; then
        kill "$client" 2>/dev/null
        wait "$client" 2>/dev/null
        client=
    fi
}

# launch <name> [<file size limit in 512-byte blocks> [exec|running]]
# Starts $root/usr/bin/varnel $args headless from $work with HOME=$home and XDG_DATA_HOME=$data
# (unset when $data is empty), and a runtime folder of its own where the client takes its
# instance lock, and waits until the client it starts holds that lock, or until
# it ends; with "exec", only until the launcher has handed over to the client (one that refuses
# to start never takes the lock). Sets $started (yes/no), $status (the exit status when it
# ended), $client_exe (the executable the client runs from); the launcher's messages are in
# $work/<name>.err. The client is stopped before launch returns, unless "running" asks to
# leave it to the caller's stop_client.
args=
launch() {
    name=$1
    limit=${2:-unlimited}
    until=${3:-lock}
    run_tmp=$work/tmp-$name
    run_runtime=$work/runtime-$name
    mkdir -p "$run_tmp"
    mkdir -p -m 700 "$run_runtime"
    (
        cd "$work" || exit 1
        if [ -n "$data" ]; then
            export XDG_DATA_HOME="$data"
        else
            unset XDG_DATA_HOME
        fi
        export VARNEL_ROOT="$root" HOME="$home" TMPDIR="$run_tmp" \
            XDG_RUNTIME_DIR="$run_runtime" QT_QPA_PLATFORM=offscreen
        ulimit -c 0
        ulimit -f "$limit"
        exec sh "$root/usr/bin/varnel" $args
    ) >"$work/$name.out" 2>"$work/$name.err" &
    client=$!
    started=no
    status=
    client_exe=
    tries=0
    while [ "$tries" -lt 200 ]; do
        if ls "$run_runtime"/varnel-*.lock >/dev/null 2>&1; then
            started=yes
            client_exe=$(client_executable "$client")
            break
        fi
        if [ "$until" = exec ]; then
            case $(readlink "/proc/$client/exe") in */VarnelClient)
                client_exe=$(readlink "/proc/$client/exe")
                break
                ;;
            esac
        fi
        if ! kill -0 "$client" 2>/dev/null; then
            wait "$client"
            status=$?
            client=
            break
        fi
        sleep 0.05
        tries=$((tries + 1))
    done
    [ "$until" = running ] || stop_client
}

# The client's executable: the launcher's own once it handed over, else its child's (the demo
# keeps the launcher as the parent of the client and the registry).
client_executable() {
    for pid in "$1" $(cat "/proc/$1/task/$1/children" 2>/dev/null); do
        case $(readlink "/proc/$pid/exe") in */VarnelClient)
            readlink "/proc/$pid/exe"
            return
            ;;
        esac
    done
}

# Whether a registry runs from the folder, and whether none is left (waiting a little for one
# that was just told to stop).
registry_running() {
    find /proc -mindepth 2 -maxdepth 2 -name exe -lname "$1/VarnelLoopback" 2>/dev/null | grep -q .
}
registry_stopped() {
    tries=0
    while registry_running "$1"; do
        [ "$tries" -lt 100 ] || return 1
        sleep 0.05
        tries=$((tries + 1))
    done
}
