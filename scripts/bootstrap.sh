#!/usr/bin/env bash
# Installs what the build and the tests need when it is missing: Debian packages (as root) and the
# node packages of package-lock.json. Without root it prints the exact packages to install.
# With --shell only what building and running the Linux shell needs (no test tools).
set -euo pipefail
cd "$(dirname "$0")/.."

shell_only=0
[[ ${1:-} == --shell ]] && shell_only=1

packages=(
  cmake g++ make libgtest-dev          # native shell and unit tests
  g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64  # Vellora.exe
  wine wine64 fonts-wine xvfb xauth    # the Windows shell under test (the ball draws text)
  chromium                             # page tests
  python3                              # a port holder in the shell tests
  libboost-dev libsqlite3-dev nlohmann-json3-dev libsodium-dev  # vellora-server
  nginx-light openssl                  # the reverse-proxy example under test
  wrk                                  # bench/server-bench
  libx11-dev libxext-dev libxft-dev    # the Linux shell's ball (Xlib, shape, Xft digits)
  fonts-dejavu-core fonts-droid-fallback  # the ball's digits and the menu's Chinese
  openbox xdotool x11-utils imagemagick   # the ball's tests: a window manager, input, xprop, pixels
  xcompmgr                             # the ball under a compositor
  clang                                # the shell core's fuzz targets (libFuzzer)
)
((shell_only)) && packages=(cmake g++ make binutils) # node assembles the page
command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "missing Debian packages; install them with:" >&2
    echo "  sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi

((shell_only)) && exit 0

# Node packages exactly as locked; skipped when node_modules already matches the lock file.
if [[ ! -d node_modules/playwright-core || package-lock.json -nt node_modules/.package-lock.json ]]; then
  npm ci --no-audit --no-fund --loglevel=error
fi
