#!/usr/bin/env bash
# Installs the Debian packages listed under debian-packages/, when missing:
# those of the given sets (command-line, development), or of all of them.
#   scripts/install-deps.sh [SET...]
set -euo pipefail
cd "$(dirname "$0")/debian-packages"

if [ $# -eq 0 ]; then
  lists=(*.txt)
else
  lists=("${@/%/.txt}")
fi
for list in "${lists[@]}"; do
  [ -f "$list" ] || { echo "install-deps.sh: no package set ${list%.txt}" >&2; exit 2; }
done
mapfile -t wanted < <(cat "${lists[@]}" | grep -v '^#' | sed '/^\s*$/d')
missing=()
for package in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
