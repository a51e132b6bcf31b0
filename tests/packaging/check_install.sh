#!/usr/bin/env bash
# check_install.sh BUILD_DIR SOURCE_DIR: the plain installation and the Debian package of this
# build, run from scratch folders. Every check names what it expected; the first failure ends
# the run with status 1.
set -uo pipefail
# A check reads a program's whole output (no grep -q in a pipe): a reader that stops at the first
# match would leave the program writing into a closed pipe, and pipefail would count that.
build=$1
source=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
check_file() { [ -e "$1" ] || fail "missing $1"; }

embedded_app_folder() {
    mkdir -p "$1"
    printf '[database]\r\nprovider=sqlite\r\ndatabase name=orvelo.db\r\n' >"$1/hv.ini"
}

# --- cmake --install: one self-contained folder -------------------------------------------
app="$scratch/app"
cmake --install "$build" --prefix "$app" >"$scratch/install.log" || fail "cmake --install failed: $(cat "$scratch/install.log")"
for f in orvelo orveloctl orvelo-terminal libfkattend.so hv.ini data share/applications/orvelo.desktop \
    share/icons/hicolor/scalable/apps/orvelo.svg share/bash-completion/completions/orveloctl; do
    check_file "$app/$f"
done
[ -d "$app/data" ] || fail "$app/data is not a folder"
grep -qx 'provider=sqlite' "$app/hv.ini" || fail "the example hv.ini does not choose the embedded database"
grep -qx "Exec=$app/orvelo" "$app/share/applications/orvelo.desktop" || fail "desktop entry does not start $app/orvelo"
if command -v help2man >/dev/null; then
    check_file "$app/share/man/man1/orveloctl.1"
    check_file "$app/share/man/man1/orvelo-terminal.1"
    grep -qF 'check\-database' "$app/share/man/man1/orveloctl.1" || fail "orveloctl(1) lacks the command list"
    grep -qF -- '\-\-state' "$app/share/man/man1/orvelo-terminal.1" || fail "orvelo-terminal(1) lacks --state"
fi

"$app/orveloctl" --help >"$scratch/help.txt" || fail "installed orveloctl --help failed"
grep -q '^Commands:' "$scratch/help.txt" || fail "orveloctl --help lists no commands"
grep -q '^  export ' "$scratch/help.txt" || fail "orveloctl --help lacks export"
"$app/orveloctl" --version | grep '^orveloctl (Orvelo) [0-9]' >/dev/null || fail "orveloctl --version"
"$app/orvelo-terminal" --version | grep '^orvelo-terminal (Orvelo) [0-9]' >/dev/null || fail "orvelo-terminal --version"

# Through a link on the PATH, without --app-dir, orveloctl must use the installed folder's hv.ini.
mkdir -p "$scratch/bin"
ln -s "$app/orveloctl" "$scratch/bin/orveloctl"
(cd "$scratch" && PATH="$scratch/bin:$PATH" orveloctl check-database) || fail "check-database through a link failed"
check_file "$app/orvelo.db"

# A reinstall keeps the operator's hv.ini.
echo '; mine' >>"$app/hv.ini"
cmake --install "$build" --prefix "$app" >/dev/null || fail "second cmake --install failed"
grep -qx '; mine' "$app/hv.ini" || fail "a reinstall replaced hv.ini"

# The terminal library lies beside the program: a connect to a closed local port is "not
# reached" (status 1), where a library that cannot be loaded would be an error (status 2).
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')
"$app/orveloctl" --app-dir "$app" --link tcp --ip 127.0.0.1 --port "$port" --timeout 2000 test-connection \
    >"$scratch/connect.out" 2>&1
status=$?
[ $status -eq 1 ] || fail "test-connection on a closed port gave $status, expected 1: $(cat "$scratch/connect.out")"

# --- the Debian package, unpacked into a scratch root -----------------------------------
command -v dpkg-deb >/dev/null || { echo "dpkg-deb missing: package not checked"; exit 0; }
deb=$("$source/scripts/package" "$build" "$scratch/out" | tail -n 1) || fail "scripts/package failed"
check_file "$deb"
dpkg-deb -f "$deb" Package | grep -x orvelo >/dev/null || fail "package name"
depends=$(dpkg-deb -f "$deb" Depends)
for p in libqt6widgets6 libqt6sql6 libqt6sql6-sqlite libsqlite3-0 libqt6sql6-odbc tdsodbc libxlsxwriter4; do
    [[ ", $depends," == *", $p"[\ ,]* ]] || fail "Depends lacks $p: $depends"
done
# Every dependency named must be a real Debian package.
for p in $(echo "$depends" | tr ',' '\n' | sed 's/(.*)//; s/ //g'); do
    apt-cache show "$p" >/dev/null 2>&1 || fail "Depends names $p, which Debian does not have"
done

rootfs="$scratch/root"
dpkg-deb -x "$deb" "$rootfs" || fail "dpkg-deb -x failed"
for f in opt/orvelo/orvelo opt/orvelo/orveloctl opt/orvelo/orvelo-terminal opt/orvelo/libfkattend.so \
    etc/orvelo/hv.ini var/lib/orvelo/data usr/share/applications/orvelo.desktop \
    usr/share/icons/hicolor/scalable/apps/orvelo.svg usr/share/bash-completion/completions/orveloctl; do
    check_file "$rootfs/$f"
done
[ "$(readlink "$rootfs/opt/orvelo/hv.ini")" = /etc/orvelo/hv.ini ] || fail "/opt/orvelo/hv.ini does not point to /etc/orvelo/hv.ini"
[ "$(readlink "$rootfs/opt/orvelo/data")" = /var/lib/orvelo/data ] || fail "/opt/orvelo/data does not point to /var/lib/orvelo/data"
# Every operator takes the folder's lock, so it must not lie in the read-only program folder.
[ "$(readlink "$rootfs/opt/orvelo/orvelo.lock")" = /var/lib/orvelo/orvelo.lock ] || fail "/opt/orvelo/orvelo.lock does not point to /var/lib/orvelo/orvelo.lock"
[ "$(readlink "$rootfs/opt/orvelo/terminals.ini")" = /etc/orvelo/terminals.ini ] || fail "/opt/orvelo/terminals.ini does not point to /etc/orvelo/terminals.ini"
grep -qx 'database name=/var/lib/orvelo/orvelo.db' "$rootfs/etc/orvelo/hv.ini" || fail "packaged hv.ini does not name /var/lib/orvelo/orvelo.db"
grep -qx 'Exec=orvelo' "$rootfs/usr/share/applications/orvelo.desktop" || fail "packaged desktop entry"
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles | grep -x /etc/orvelo/hv.ini >/dev/null || fail "hv.ini is not a conffile"
if command -v help2man >/dev/null; then
    check_file "$rootfs/usr/share/man/man1/orveloctl.1"
    check_file "$rootfs/usr/share/man/man1/orvelo-terminal.1"
fi
for program in orvelo orveloctl orvelo-terminal; do
    link="$rootfs/usr/bin/$program"
    [ -L "$link" ] || fail "/usr/bin/$program is not a link"
    [ "$(readlink -f "$link")" = "$(readlink -f "$rootfs/opt/orvelo/$program")" ] || fail "/usr/bin/$program points elsewhere"
done

"$rootfs/usr/bin/orveloctl" --help | grep '^Commands:' >/dev/null || fail "packaged orveloctl --help"
packaged_app="$scratch/packaged-app"
embedded_app_folder "$packaged_app"
"$rootfs/usr/bin/orveloctl" --app-dir "$packaged_app" check-database || fail "packaged check-database failed"
check_file "$packaged_app/orvelo.db"
header=$("$rootfs/usr/bin/orveloctl" --app-dir "$packaged_app" export --from 2024-01-01 --to 2024-01-31 | head -n 1)
[ "$header" = $'人员编号,姓名,机构名称,日期,时间,记录代码,记录含义,机器号\r' ] || fail "packaged export header: $header"
"$rootfs/usr/bin/orveloctl" --app-dir "$packaged_app" export --from 2024-02-01 --to 2024-01-31 2>/dev/null
status=$?
[ $status -eq 64 ] || fail "export with --from after --to gave $status, expected 64"

# The completion script loads in bash and offers the commands of the installed program.
if [ -f /usr/share/bash-completion/bash_completion ]; then
    completions=$(PATH="$rootfs/usr/bin:$PATH" bash -c '
        source /usr/share/bash-completion/bash_completion
        source "$1"
        COMP_WORDS=(orveloctl ex); COMP_CWORD=1; COMP_LINE="orveloctl ex"; COMP_POINT=${#COMP_LINE}
        _orveloctl; echo "${COMPREPLY[*]}"
        COMP_WORDS=(orveloctl export --d); COMP_CWORD=2; COMP_LINE="orveloctl export --d"; COMP_POINT=${#COMP_LINE}
        _orveloctl; echo "${COMPREPLY[*]}"' _ "$rootfs/usr/share/bash-completion/completions/orveloctl")
    [ "$(echo "$completions" | sed -n 1p)" = export ] || fail "completion of 'ex': $completions"
    [ "$(echo "$completions" | sed -n 2p | tr ' ' '\n' | sort | tr '\n' ' ')" = "--daily --department " ] ||
        fail "completion of 'export --d': $completions"
fi
echo "installation and package checked: $deb"
