#!/usr/bin/env bash
# Makes every download of a release in dist/, from the committed HEAD (never the working tree's changes):
# the Windows ZIP, the Debian package, the source archive, LZO's source package that the exe was built from,
# and SHA256SUMS over them. Then it checks the source archive as a user would: unpacked elsewhere,
# scripts/try.sh builds the tool and runs it on the sample map, which must give the released build's report.
# Usage: scripts/release.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh tool dpkg-dev g++-mingw-w64-i686-posix binutils-mingw-w64-i686
[ -z "$(git status --porcelain)" ] ||
  echo "release: made from HEAD ($(git rev-parse --short HEAD)), without the working tree's changes" >&2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
Quiet() {  # Quiet COMMAND...: runs it with its output in a log, shown only when it fails
  "$@" >"$tmp/log" 2>&1 || { cat "$tmp/log" >&2; echo "release: failed: $*" >&2; exit 1; }
}

# The two programs, built from a copy of HEAD without their tests.
dist=$PWD/dist
tree=$tmp/tallyglass
mkdir "$tree"
git archive HEAD | tar -x -C "$tree"
for preset in windows32 linux; do
  (cd "$tree" && Quiet cmake --preset "$preset" -DTALLYGLASS_BUILD_TESTS=OFF)
  Quiet cmake --build "$tree/build/$preset" -j"$(nproc)"
done
(cd "$tree/build/windows32" && Quiet cpack)
(cd "$tree/build/linux" && Quiet cpack -G DEB)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$tree/build/linux/CMakeCache.txt")
[ -n "$version" ] || { echo "release: no project version in the build" >&2; exit 1; }

rm -rf "$dist"
mkdir "$dist"
cp "$tree/build/windows32/Tallyglass-$version-windows-x86.zip" "$dist/"
cp "$tree/build/linux/tallyglass_${version}"_*.deb "$dist/"
git archive --format=tar --prefix="tallyglass-$version/" HEAD | gzip -9n >"$dist/tallyglass-$version.tar.gz"
# LZO's source package as the configure step fetched it, the files that the ZIP's LZO.txt names.
find "$tree/build/windows32/_deps/lzo2-source" -maxdepth 1 -type f -name 'lzo2_*' -exec cp -t "$dist" {} +
ls "$dist"/lzo2_*.dsc >/dev/null || { echo "release: no lzo2 source package fetched" >&2; exit 1; }
(cd "$dist" && sha256sum -- * >"$tmp/SHA256SUMS" && mv "$tmp/SHA256SUMS" .)

# The source archive builds and runs as its README says.
mkdir "$tmp/check"
tar -xzf "$dist/tallyglass-$version.tar.gz" -C "$tmp/check"
"$tmp/check/tallyglass-$version/scripts/try.sh" >"$tmp/try.txt"
"$tree/build/linux/tallyglass" "$tree/samples/Sample.Map.Gbx" >"$tmp/built.txt"
grep -q '^Number of embedded items: ' "$tmp/built.txt"
cmp "$tmp/try.txt" "$tmp/built.txt" || { echo "release: the source archive's tool differs" >&2; exit 1; }

echo "release $version in dist/ (bytes):"
(cd "$dist" && stat -c "%12s  %n" -- *)
