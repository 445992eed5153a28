#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the programs need. llvm brings
# llvm-symbolizer, through which sanitizer and fuzzer reports name functions and lines. It needs
# root (or sudo) only when a package is missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config ccache git clang-format python3
  clang libclang-rt-14-dev llvm
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-image-formats-plugins libqt6svg6
  libssl-dev zlib1g-dev libcurl4-openssl-dev libpugixml-dev nlohmann-json3-dev
  libfreetype-dev libfontconfig-dev fonts-nanum
  libxcb1-dev libxcb-keysyms1-dev libxcb-xinput-dev libxau-dev libxkbcommon-dev xvfb xdotool
  cups-daemon cups-client libcups2-dev printer-driver-cups-pdf
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
      echo "install-packages.sh: missing packages: ${missing[*]}" >&2
      echo "install-packages.sh: installing them needs root (there is no sudo here); run this as root once" >&2
      exit 1
    fi
    SUDO="sudo"
  fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
