#!/usr/bin/env bash
# Builds the Debian package vantor_<version>_<arch>.deb into build/package and checks it
# with lintian, which must report no errors. Prints the package's path last.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --package
dir=build/package
# Debian's hardening flags, as a package built by its own tools would get them.
export CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
export LDFLAGS="$(dpkg-buildflags --get LDFLAGS) -Wl,-z,now"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DCMAKE_STRIP="$PWD/packaging/strip.sh" >/dev/null
cmake --build "$dir" -j"$(nproc)"
(cd "$dir" && rm -f ./*.deb && cpack -G DEB >/dev/null)
deb=$(ls "$dir"/vantor_*.deb)
lintian --fail-on error --no-tag-display-limit "$deb" >&2
# A program's warning at build time must not end up in its manual page.
for page in "$dir"/packaging/*.1.gz; do
    if zgrep -q -E 'QStandardPaths|[Ww]arning:' "$page"; then
        echo "$page holds a warning:" >&2
        zgrep -E 'QStandardPaths|[Ww]arning:' "$page" >&2
        exit 1
    fi
done
echo "$deb"
