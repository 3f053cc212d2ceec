#!/usr/bin/env bash
# Installs, with apt-get, whichever of the named Debian packages are
# missing. Usage: install-tools.sh PACKAGE...
set -euo pipefail

missing=()
for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
echo "Installing: ${missing[*]}"
# A mirror caught mid-sync fails the update: the lists there are may
# still hold every package asked for.
$sudo apt-get update -qq || echo "apt-get update failed; installing from the package lists there are"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
