#!/usr/bin/env bash
# Installs the Debian packages the build, the application and the tests need,
# skipping everything already present (so a second run costs a few dpkg queries).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  libsqlite3-dev libicu-dev nlohmann-json3-dev libboost-dev libssl-dev
  qt6-base-dev
  libgtest-dev libgmock-dev libbenchmark-dev sqlite3
  procps xdg-utils
)
# Node and npm run the interoperability test with the official MCP client; a
# machine that already has them (from any source) keeps its own.
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
