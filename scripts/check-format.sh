#!/usr/bin/env bash
# Fails when a C++ source of the tree differs from what clang-format makes of it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
clang_format=${1:-clang-format}
cd "$top"
folders=()
for f in platform lib strings fuzz ciphers-native ciphers printers viewer controls server privileged elevation \
         watchdog gridcode tools tests bench; do
  [ -d "$f" ] && folders+=("$f")
done
find "${folders[@]}" \( -name '*.cpp' -o -name '*.h' \) -print0 |
  xargs -0 -r "$clang_format" --dry-run -Werror
