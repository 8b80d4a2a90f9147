#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need.
set -euo pipefail
packages=(qt6-base-dev libqt6sql6-sqlite qt6-translations-l10n libsqlite3-dev sqlite3 cmake ninja-build g++
          xvfb xauth x11-apps imagemagick poppler-utils xdotool fonts-liberation)
# The comics service server (Qt HTTP Server needs the WebSockets headers), and
# building and checking the Debian package.
packages+=(qt6-httpserver-dev qt6-websockets-dev dpkg-dev file desktop-file-utils appstream groff-base)
# The charts of the statistics window (Qt Charts finds its OpenGL dependency only with the -dev package).
packages+=(qt6-charts-dev libqt6opengl6-dev)
# Covers in WebP and TIFF (JPEG, PNG, GIF and BMP come with Qt itself).
packages+=(qt6-image-formats-plugins)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
