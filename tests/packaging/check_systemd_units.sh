#!/usr/bin/env bash
# The systemd units of packaging/systemd as systemd reads them: `systemd-analyze verify` on copies
# whose ExecStart names this build's orveloctl (verify insists that the program exists), then what
# each unit must keep: the scheduled collection runs once over every terminal on a schedule that
# comes round and catches up after the machine was off; the watch is restarted on failure. Any
# complaint of systemd fails the test.
#
#   check_systemd_units.sh UNIT_FOLDER ORVELOCTL
set -euo pipefail
units=$1
orveloctl=$2

if ! command -v systemd-analyze >/dev/null; then
    echo "systemd-analyze is missing: scripts/install-deps installs it (package systemd)" >&2
    exit 1
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$units"/*.service "$units"/*.timer "$scratch/"
cd "$scratch"

fail() { echo "$1" >&2; exit 1; }
has() { grep -Eq "$2" "$1" || fail "$1: $3"; }

for service in *.service; do
    has "$service" '^ExecStart=/usr/bin/orveloctl ' "ExecStart does not run /usr/bin/orveloctl"
    has "$service" '^Environment=ORVELO_APP_DIR=' "the application folder is not an Environment= line"
    sed -i "s#^ExecStart=/usr/bin/orveloctl #ExecStart=$orveloctl #" "$service"
done

complaints=$(systemd-analyze verify --man=no ./*.service ./*.timer 2>&1) || fail "$complaints"
[ -z "$complaints" ] || fail "$complaints"

has orvelo-collect.service '^Type=oneshot$' "not Type=oneshot"
has orvelo-collect.service '^ExecStart=.* --all-terminals collect$' "does not collect from every terminal"
has orvelo-collect.timer '^Persistent=true$' "not Persistent"
schedule=$(sed -n 's/^OnCalendar=//p' orvelo-collect.timer)
[ "$(printf '%s\n' "$schedule" | wc -l)" -eq 1 ] && [ -n "$schedule" ] || fail "the timer needs one OnCalendar="
next=$(systemd-analyze calendar "$schedule" | sed -n 's/^ *Next elapse: //p')
[ -n "$next" ] && [ "$next" != never ] || fail "OnCalendar=$schedule never elapses"

has orvelo-watch.service '^ExecStart=.* watch$' "ExecStart does not run orveloctl ... watch"
has orvelo-watch.service '^Restart=on-failure$' "not restarted on failure"
has orvelo-watch.service '^RestartSec=' "no RestartSec"

echo "$(ls ./*.service ./*.timer | tr '\n' ' ')verified; collection schedule $schedule"
