#!/usr/bin/env bash
# Makes every download of a release in dist/, from the committed HEAD (never the working tree's changes):
# the Windows ZIP, the Debian package, the page, the source archive, LZO's source package that the exe was
# built from, and SHA256SUMS over them. Every date and time in them is the commit's (SOURCE_DATE_EPOCH), so one
# commit gives the same bytes on every run. All is made and checked in a temporary folder, and dist/ is replaced
# only when every check has passed. The checks: the source archive unpacked elsewhere, where scripts/try.sh
# builds the tool and runs it on the sample map, which must give the released build's report; and with --verify
# (the test command's), the whole release made a second time from scratch, whose SHA256SUMS must be the same,
# and the source archive built as a distribution builds it (a plain cmake with its own flags), with its tests.
# Usage: scripts/release.sh [--verify]
set -euo pipefail
cd "$(dirname "$0")/.."
case ${1-} in
  --verify) verify=1 ;;
  "") verify=0 ;;
  *) echo "usage: scripts/release.sh [--verify]" >&2; exit 2 ;;
esac
scripts/install-deps.sh tool dpkg-dev g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mandoc emscripten
[ -z "$(git status --porcelain)" ] ||
  echo "release: made from HEAD ($(git rev-parse --short HEAD)), without the working tree's changes" >&2
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
Quiet() {  # Quiet COMMAND...: runs it with its output in a log, shown only when it fails
  "$@" >"$tmp/log" 2>&1 || { cat "$tmp/log" >&2; echo "release: failed: $*" >&2; exit 1; }
}

# MakeRelease OUT: every download and SHA256SUMS in the new folder OUT, built from a copy of HEAD in OUT.tree
# without the tests. The compilers see the copy as ".", so no path of the temporary folder gets into a binary.
MakeRelease() {
  local out=$1 tree=$1.tree preset
  mkdir "$out" "$tree"
  git archive HEAD | tar -x -C "$tree"
  for preset in windows32 linux web; do
    (cd "$tree" && CFLAGS="-ffile-prefix-map=$tree=." CXXFLAGS="-ffile-prefix-map=$tree=." \
                   Quiet cmake --preset "$preset" -DTALLYGLASS_BUILD_TESTS=OFF)
    Quiet cmake --build "$tree/build/$preset" -j"$(nproc)"
  done
  (cd "$tree/build/windows32" && Quiet cpack)
  (cd "$tree/build/linux" && Quiet cpack -G DEB)
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$tree/build/linux/CMakeCache.txt")
  [ -n "$version" ] || { echo "release: no project version in the build" >&2; exit 1; }

  cp "$tree/build/windows32/Tallyglass-$version-windows-x86.zip" "$out/"
  cp "$tree/build/linux/tallyglass_${version}"_*.deb "$out/"
  cp "$tree/build/web/tallyglass.html" "$out/tallyglass-$version.html"
  git archive --format=tar --prefix="tallyglass-$version/" HEAD | gzip -9n >"$out/tallyglass-$version.tar.gz"
  # LZO's source package as the configure step fetched it, the files that the ZIP's LZO.txt names.
  find "$tree/build/windows32/_deps/lzo2-source" -maxdepth 1 -type f -name 'lzo2_*' -exec cp -t "$out" {} +
  ls "$out"/lzo2_*.dsc >/dev/null || { echo "release: no lzo2 source package fetched" >&2; exit 1; }
  (cd "$out" && sha256sum -- * >"$tmp/SHA256SUMS" && mv "$tmp/SHA256SUMS" .)
}

release=$tmp/release
MakeRelease "$release"

# The source archive builds and runs as its README says.
mkdir "$tmp/check"
tar -xzf "$release/tallyglass-$version.tar.gz" -C "$tmp/check"
"$tmp/check/tallyglass-$version/scripts/try.sh" >"$tmp/try.txt"
"$release.tree/build/linux/tallyglass" "$release.tree/samples/Sample.Map.Gbx" >"$tmp/built.txt"
grep -q '^Number of embedded items: ' "$tmp/built.txt"
cmp "$tmp/try.txt" "$tmp/built.txt" || { echo "release: the source archive's tool differs" >&2; exit 1; }

if [ "$verify" = 1 ]; then
  MakeRelease "$tmp/again"
  if ! cmp -s "$release/SHA256SUMS" "$tmp/again/SHA256SUMS"; then
    diff "$release/SHA256SUMS" "$tmp/again/SHA256SUMS" >&2 || true
    echo "release: a second release of the same commit differs" >&2
    exit 1
  fi
  echo "ok: release: made twice from scratch, the same SHA256SUMS"

  # Flags as Ubuntu's and Fedora's: a higher fortify level than the tool's own, and no -Werror from the presets.
  distro=$tmp/distro
  mkdir "$distro"
  tar -xzf "$release/tallyglass-$version.tar.gz" -C "$distro"
  CXXFLAGS="-O2 -Wp,-D_FORTIFY_SOURCE=3 -fstack-clash-protection" \
    Quiet cmake -S "$distro/tallyglass-$version" -B "$distro/build" -DCMAKE_BUILD_TYPE=None
  Quiet cmake --build "$distro/build" -j"$(nproc)"
  Quiet ctest --test-dir "$distro/build" -j"$(nproc)"
  echo "ok: release: the source archive builds with a distribution's flags and passes its tests"
fi

# Every check passed: dist/ becomes this release, whole.
dist=$PWD/dist
rm -rf "$dist.new"
cp -r "$release" "$dist.new"
rm -rf "$dist"
mv "$dist.new" "$dist"
echo "release $version in dist/ (bytes):"
(cd "$dist" && stat -c "%12s  %n" -- *)
