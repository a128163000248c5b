#!/usr/bin/env bash
# Installs the Debian 12 packages Dikton needs to build, test and run, when any is missing.
set -euo pipefail
PACKAGES=(build-essential cmake pkg-config libgtest-dev libgmock-dev qt6-base-dev
          espeak-ng sox fonts-dejavu-core qt6-translations-l10n nlohmann-json3-dev)
PACKAGES+=("$@")
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
