#!/usr/bin/env bash
# Installs every Debian package the project needs (only the missing ones), then
# configures and builds the project into build/. Safe to run again.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

mapfile -t wanted < <(grep -v '^\s*#' scripts/packages.txt | grep -v '^\s*$')
missing=()
for p in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "Missing Debian packages. Run as root:" >&2
    echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
