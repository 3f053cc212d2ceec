#!/usr/bin/env bash
# Installs, with apt-get, whichever of the named Debian packages are
# missing. Usage: install-tools.sh PACKAGE...
set -euo pipefail
shopt -s nullglob

missing=()
for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

# fetchTwins FOLDER: a mirror caught mid-sync can leave the 32-bit lists
# without the security updates the 64-bit ones have, and a 32-bit library
# installs only at its 64-bit twin's version. Until the install resolves,
# each 32-bit package it names whose version differs from its 64-bit
# twin's is fetched into FOLDER from where the twin's pool holds it. No
# index vouches for these files: the one that would is what the mirror
# failed to give, so this runs only then.
fetchTwins() {
    local round name version twin uri fetched
    for round in $(seq 20); do
        local plan
        plan=$(apt-get install -s "${missing[@]}" "$1"/*.deb 2>&1) && return 0
        fetched=false
        for name in $(grep -o '[^ ]*:i386' <<<"$plan" | sed 's/:i386$//' | sort -u); do
            version=$(apt-cache policy "$name:amd64" | awk '/Candidate:/ { print $2 }')
            [ -n "$version" ] && [ "$version" != "(none)" ] || continue
            [ "$version" != "$(apt-cache policy "$name:i386" | awk '/Candidate:/ { print $2 }')" ] || continue
            twin="$1/${name}_${version#*:}_i386.deb"
            [ ! -e "$twin" ] || continue
            uri=$(apt-get download --print-uris "$name:amd64=$version" | cut -d"'" -f2)
            /usr/lib/apt/apt-helper download-file "${uri%_amd64.deb}_i386.deb" "$twin" >/dev/null && fetched=true
        done
        $fetched || return 0
    done
}

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
echo "Installing: ${missing[*]}"
# A mirror caught mid-sync fails the update: the lists there are may
# still hold every package asked for.
updated=true
$sudo apt-get update -qq || {
    updated=false
    echo "apt-get update failed; installing from the package lists there are"
}
export DEBIAN_FRONTEND=noninteractive
twins=$(mktemp -d)
trap 'rm -rf "$twins"' EXIT
[[ $updated == true || " ${missing[*]} " != *":i386 "* ]] || fetchTwins "$twins"
$sudo apt-get install -y -qq "${missing[@]}" "$twins"/*.deb >/dev/null
