#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; only what is missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev
  libsqlite3-dev sqlite3
  libcurl4-openssl-dev curl openssl
  qt6-base-dev qt6-translations-l10n libgl1-mesa-dev fonts-dejavu-core fonts-liberation2
  python3 util-linux locales
  # The Windows build and its tests under Wine (64-bit Wine only: 32-bit programs cannot
  # run on these machines, and wine32 would make `wine` pick its loader).
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools wine wine64 xvfb xauth
  # The Windows packages (scripts/package-windows.sh): zip archives, the Windows Installer
  # packages, Authenticode signatures and the guides rendered to HTML.
  zip unzip wixl osslsigncode python3-markdown
  # Wine's own fonts: the caption buttons' symbols (Marlett) and Tahoma in the screenshots
  # of scripts/screenshots.sh.
  fonts-wine
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

# The German locale: sizes are shown in the user's locale ("1.234,6"), and the tests check it.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  echo "Generating the locale de_DE.UTF-8"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  if grep -q '^[# ]*de_DE\.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    $SUDO sed -i 's/^[# ]*\(de_DE\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  else
    echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  fi
  $SUDO locale-gen
  locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8' || { echo "de_DE.UTF-8 could not be generated" >&2; exit 1; }
fi

# Wine's 32-bit PE libraries for the tests of the 32-bit Windows build, downloaded and unpacked
# into a cache folder (never installed: wine32 would break the `wine` command here).
"$(dirname "$0")/wine32-libs.sh" --fetch >/dev/null
