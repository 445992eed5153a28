#!/usr/bin/env bash
# The peak memory of one large issue through the real server, read from outside: a machine
# folder of its own, the libraries registered in it, TesselServer headless on a free loopback
# port, then `tessel-client` sets up the sample, hands over PAGES copies of one page image and
# runs the issue on the default printer (a PDF printer). Prints the server's size when idle
# (VmRSS), its peak during the issue (VmHWM, counted afresh from the idle size) and its processor
# time. Without IMAGE it makes a 5760 x 5760 RGBA PNG (127 MiB decoded).
#
#   bash bench/picture_memory.sh [PAGES [IMAGE]]      (PAGES defaults to 50)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bin=${TESSEL_BUILD_DIR:-$top/build}/bin
pages=${1:-50}
work=$(mktemp -d)
trap 'kill "${pid:-0}" 2>/dev/null || true; rm -rf "$work"' EXIT
image=${2:-$work/rgba5760.png}
if [ -z "${2:-}" ]; then
  python3 - "$image" <<'PY'
import struct, sys, zlib
W = H = 5760
def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
rows = []
for y in range(H):
    band = (y // 240) % 4
    if band == 0:
        px = b'\xf0\xf0\xff\xff' * W
    elif band == 1:
        px = (b'\x20\x40\xa0\x80' * 120 + b'\xff' * 480) * (W // 240)
    elif band == 2:
        px = bytes([(y * 7) & 255, 90, 200, 255]) * W
    else:
        px = (b'\xc0\x10\x10\x40' * 60 + b'\x00' * 240) * (W // 120)
    rows.append(b'\x00' + px)
ihdr = struct.pack('>IIBBBBB', W, H, 8, 6, 0, 0, 0)
png = (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', ihdr) +
       chunk(b'IDAT', zlib.compress(b''.join(rows), 9)) + chunk(b'IEND', b''))
open(sys.argv[1], 'wb').write(png)
PY
fi
export TESSEL_MACHINE=$work/machine QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
mkdir -p "$TESSEL_MACHINE/system"
for name in Sealwyn Ciphra Vistrel Panelet Postwick Kestrum TesselUAC; do
  "$bin/regsvr" "$bin/lib$name.so" >/dev/null
done
printf '[SYSTEM]\r\nLocalIP=127.0.0.1\r\n' >"$work/TesselServer.ini"
"$bin/TesselServer" --ini "$work/TesselServer.ini" --port-file "$work/port" >"$work/server.log" 2>&1 &
pid=$!
for _ in $(seq 200); do [ -s "$work/port" ] && break; sleep 0.1; done
[ -s "$work/port" ] || { echo "the server did not start (see its log)"; cat "$work/server.log"; exit 1; }
sleep 1
figure() { awk -v k="$1:" '$1 == k {print $2}' "/proc/$pid/status"; }
idle=$(figure VmRSS)
echo 5 >"/proc/$pid/clear_refs"  # the peak counts afresh from here
args=(setup "$top/samples/sample.json")
for _ in $(seq "$pages"); do args+=(page64 "$image"); done
"$bin/tessel-client" --port "$(cat "$work/port")" "${args[@]}" run | tail -1
peak=$(figure VmHWM)
ticks=$(awk '{print $14 + $15}' "/proc/$pid/stat")
echo "pages: $pages of $(stat -c %s "$image") bytes"
echo "idle: $((idle / 1000)) MB; peak: $((peak / 1000)) MB; above idle: $(((peak - idle) / 1000)) MB"
echo "processor time: $((ticks * 10)) ms"
