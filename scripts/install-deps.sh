#!/usr/bin/env bash
# Installs the Debian packages a task needs, asking apt only when one is missing.
# Usage: scripts/install-deps.sh tool|all [PACKAGE...]   (tool: building and running the tool; all: every test)
set -euo pipefail
wanted=(cmake make g++ pkg-config liblzo2-dev libzip-dev libpugixml-dev "${@:2}")
if [ "${1:-tool}" = all ]; then
  # Tests and the benchmark; valgrind runs the real binary; clang's runtime serves the sanitizers and libFuzzer.
  wanted+=(clang libclang-rt-14-dev libgtest-dev libbenchmark-dev valgrind)
  # jq reads back every line that --json writes, and python3-jsonschema holds each to the JSON Schema of a line.
  wanted+=(jq python3-jsonschema)
  # lintian checks the Debian package.
  wanted+=(lintian)
  # Cross-building for Windows (dpkg-dev for `apt-get source` of LZO, googletest for its sources, mandoc for the
  # manual as HTML) and running the programs under wine64 on an X server of their own.
  wanted+=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
           dpkg-dev googletest mandoc wine wine64 fonts-wine xvfb libxml2-utils)
  # The page: emscripten builds it; its test runs it in Chromium and Firefox (driven from npm's puppeteer-core)
  # and in WebKitGTK's MiniBrowser (through WebKitWebDriver, on xvfb's X server).
  wanted+=(emscripten chromium firefox-esr webkit2gtk-driver libwebkit2gtk-4.1-0)
fi
missing=()
for package in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
