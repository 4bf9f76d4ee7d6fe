#!/usr/bin/env bash
# Installs the Debian packages that building and testing ktutil need, when
# they are missing. Extra package names may be passed as arguments.
set -euo pipefail

packages=(cmake ninja-build g++ clang clang-format git pkg-config libgtest-dev libgmock-dev libbenchmark-dev libicu-dev libabsl-dev libssl-dev zlib1g-dev libclang-rt-14-dev libcereal-dev libsqlite3-dev "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "ktutil: missing packages: ${missing[*]} (run as root, or install them)" >&2
  exit 1
fi
echo "ktutil: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
