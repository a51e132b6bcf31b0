#!/usr/bin/env bash
# The unit files of unattended collection as systemd reads them: `systemd-analyze verify` on a copy
# whose ExecStart names this build's orveloctl (verify insists that the program exists), and the
# timer's schedule as a calendar expression. Any complaint of systemd fails the test.
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
cp "$units/orvelo-collect.service" "$units/orvelo-collect.timer" "$scratch/"
service="$scratch/orvelo-collect.service"
timer="$scratch/orvelo-collect.timer"

grep -q '^ExecStart=/usr/bin/orveloctl ' "$service" || { echo "ExecStart does not run /usr/bin/orveloctl" >&2; exit 1; }
sed -i "s#^ExecStart=/usr/bin/orveloctl #ExecStart=$orveloctl #" "$service"

complaints=$(cd "$scratch" && systemd-analyze verify --man=no ./orvelo-collect.service ./orvelo-collect.timer 2>&1) || {
    echo "$complaints" >&2
    exit 1
}
if [ -n "$complaints" ]; then
    echo "$complaints" >&2
    exit 1
fi

# The service runs once per start and collects from every listed terminal; the timer keeps a
# schedule that comes round and catches up after the machine was off.
grep -qx 'Type=oneshot' "$service" || { echo "the service is not Type=oneshot" >&2; exit 1; }
grep -q '^ExecStart=.* --all-terminals collect$' "$service" || { echo "ExecStart does not collect from every terminal" >&2; exit 1; }
grep -qx 'Persistent=true' "$timer" || { echo "the timer is not Persistent" >&2; exit 1; }
schedule=$(sed -n 's/^OnCalendar=//p' "$timer")
[ "$(printf '%s\n' "$schedule" | wc -l)" -eq 1 ] && [ -n "$schedule" ] || { echo "the timer needs one OnCalendar=" >&2; exit 1; }
next=$(systemd-analyze calendar "$schedule" | sed -n 's/^ *Next elapse: //p')
if [ -z "$next" ] || [ "$next" = never ]; then
    echo "OnCalendar=$schedule never elapses" >&2
    exit 1
fi
echo "orvelo-collect.service and orvelo-collect.timer verified; schedule $schedule"
