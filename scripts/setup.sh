#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; only what is missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev
  libsqlite3-dev sqlite3
  libcurl4-openssl-dev curl openssl
  qt6-base-dev qt6-translations-l10n libgl1-mesa-dev fonts-dejavu-core fonts-liberation2
  python3 util-linux
  # The Windows build and its tests under Wine (64-bit Wine only: 32-bit programs cannot
  # run on these machines, and wine32 would make `wine` pick its loader).
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools wine wine64 xvfb xauth
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "All packages present."
fi
