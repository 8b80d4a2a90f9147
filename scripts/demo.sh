#!/usr/bin/env bash
# Installs what is needed, builds, makes a demo collection in ./demo (once)
# and starts Stripothek there.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
[ -f demo/database/stripothek.db ] || build/src/cli/stripothek-db demo demo
cd demo
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "Kein Bildschirm gefunden: starte unter Xvfb (xvfb-run)." >&2
  exec xvfb-run -a -s "-screen 0 1280x900x24" ../build/src/app/stripothek "$@"
fi
exec ../build/src/app/stripothek "$@"
