#!/usr/bin/env bash
# Installs what is missing, builds, registers every in-process server in the machine folder
# ($TESSEL_MACHINE, default ~/.local/share/tessel/machine) and starts the issuing server.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-packages.sh"
"$top/scripts/build.sh"
bin=${TESSEL_BUILD_DIR:-$top/build}/bin
export TESSEL_MACHINE=${TESSEL_MACHINE:-$HOME/.local/share/tessel/machine}
mkdir -p "$TESSEL_MACHINE/system"
# The machine's network-use command, which the printer probes run to find redirected ports.
if [ -x "$bin/tessel-net" ] && [ ! -e "$TESSEL_MACHINE/system/net.exe" ] && [ ! -L "$TESSEL_MACHINE/system/net.exe" ]; then
  ln -s "$bin/tessel-net" "$TESSEL_MACHINE/system/net.exe"
fi
# The deliverables that are COM servers (platform modules, the grid code library and the test
# libraries in the same folder are not, and are never registered on a machine).
for name in Sealwyn Ciphra Vistrel Panelet Postwick Kestrum TesselUAC; do
  if [ -f "$bin/lib$name.so" ]; then "$bin/regsvr" "$bin/lib$name.so"; fi
done
if [ -x "$bin/TesselServer" ]; then
  # Without a desktop the server runs headless (no window, no tray).
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
  fi
  echo "Starting the issuing server (stop it with Ctrl+C)."
  exec "$bin/TesselServer" "$@"
fi
echo "Registered the libraries in $TESSEL_MACHINE; the issuing server is not built yet."
