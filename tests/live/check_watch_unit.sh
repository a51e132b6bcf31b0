#!/usr/bin/env bash
# orvelo-watch.service as systemd reads it: `systemd-analyze verify` on a copy whose ExecStart names
# this build's orveloctl (verify insists that the program exists); it must run `watch` and be
# restarted on failure. Any complaint of systemd fails the test.
#
#   check_watch_unit.sh UNIT_FILE ORVELOCTL
set -euo pipefail
unit=$1
orveloctl=$2

if ! command -v systemd-analyze >/dev/null; then
    echo "systemd-analyze is missing: scripts/install-deps installs it (package systemd)" >&2
    exit 1
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
copy="$scratch/orvelo-watch.service"
cp "$unit" "$copy"

grep -Eq '^ExecStart=/usr/bin/orveloctl .* watch$' "$copy" || { echo "ExecStart does not run orveloctl ... watch" >&2; exit 1; }
grep -q '^Restart=on-failure$' "$copy" || { echo "the service is not restarted on failure" >&2; exit 1; }
grep -q '^RestartSec=' "$copy" || { echo "the service has no RestartSec" >&2; exit 1; }
grep -q '^Environment=ORVELO_APP_DIR=' "$copy" || { echo "the application folder is not an Environment= line" >&2; exit 1; }
sed -i "s#^ExecStart=/usr/bin/orveloctl #ExecStart=$orveloctl #" "$copy"

complaints=$(cd "$scratch" && systemd-analyze verify --man=no ./orvelo-watch.service 2>&1) || {
    echo "$complaints" >&2
    exit 1
}
if [ -n "$complaints" ]; then
    echo "$complaints" >&2
    exit 1
fi
