#!/usr/bin/env bash
# Checks that the release is reproducible: makes it twice with
# scripts/release.sh, from two clones of HEAD in folders of different
# names and lengths, under different umasks, and requires the two dist/
# folders to be the same byte for byte. A path of the build kept in a
# program would make them differ.
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
release() { # release CLONE UMASK
    git clone -q "$PWD" "$work/$1"
    (cd "$work/$1" && umask "$2" && scripts/release.sh) >"$work/$1.log" 2>&1 || {
        cat "$work/$1.log"
        exit 1
    }
}
release a 022
release second-clone 077

a="$work/a/dist" b="$work/second-clone/dist"
diff <(cd "$a" && find . | sort) <(cd "$b" && find . | sort)
(cd "$a" && find . -type f | sort) | while read -r file; do
    cmp "$a/$file" "$b/$file"
done
echo "Both runs made the same release:"
(cd "$work" && sha256sum {a,second-clone}/dist/*.zip {a,second-clone}/dist/*/*.exe)
