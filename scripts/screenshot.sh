#!/usr/bin/env bash
# Regenerates the README's pictures: docs/page.png, the page in headless Chromium as a person sees it once a
# folder of six maps is chosen (its overview, then each result folded but one), and docs/report-box.png, the real
# message box shown by the 64-bit Tallyglass.exe under Wine on an Xvfb screen and cut out of a screen capture.
# Usage: scripts/screenshot.sh [page|box]   (both without an argument)
set -euo pipefail
cd "$(dirname "$0")/.."
# A font with CJK characters, which Wine's dialog font and Chromium borrow from for the sample's item names.
scripts/install-deps.sh all x11-apps imagemagick fonts-wqy-microhei
convert=/usr/bin/convert  # ImageMagick's, whatever else is first on the PATH

if [ "${1:-}" != box ]; then
  # A pool: a folder of the test's case maps under a cup's names, chosen as a folder.
  cmake --preset web >/dev/null && cmake --build --preset web >/dev/null
  cmake --preset linux >/dev/null && cmake --build --preset linux --target write_case_maps >/dev/null
  (cd tests/web && npm ci --no-audit --no-fund -s)
  pool=$(mktemp -d)
  build/linux/tests/support/write_case_maps "$pool/cases" messages
  mkdir -p "$pool/Spring Cup/Drafts"
  cp samples/Sample.Map.Gbx "$pool/Spring Cup/Round 1.Map.Gbx"
  cp "$pool/cases/a_current_map_s_header.Map.Gbx" "$pool/Spring Cup/Round 2.Map.Gbx"
  cp "$pool/cases/embedded_files_with_findings.Map.Gbx" "$pool/Spring Cup/Round 3.Map.Gbx"
  cp "$pool/cases/archive__deflated__stored_and_ZIP64.Map.Gbx" "$pool/Spring Cup/Drafts/Canyon.Map.Gbx"
  cp "$pool/cases/not_LZO_at_all.Map.Gbx" "$pool/Spring Cup/Drafts/Broken.Map.Gbx"
  cp "$pool/cases/the_same_map_under_another_name.Map.Gbx" "$pool/Spring Cup/Drafts/Round 2 again.Map.Gbx"
  node --input-type=module - build/web/tallyglass.html "$pool/Spring Cup" docs/page.png <<'EOF'
import { createRequire } from "node:module";
import { resolve } from "node:path";
import { pathToFileURL } from "node:url";
const puppeteer = createRequire(resolve("tests/web/package.json"))("puppeteer-core");
const [page, folder, picture] = process.argv.slice(2);
const browser = await puppeteer.launch({ browser: "chrome", executablePath: "/usr/bin/chromium", headless: true,
                                         args: ["--no-sandbox", "--disable-gpu"] });
const tab = await browser.newPage();
await tab.setViewport({ width: 1000, height: 600 });
await tab.emulateMediaFeatures([{ name: "prefers-color-scheme", value: "light" }]);
await tab.goto(pathToFileURL(resolve(page)).href);
await (await tab.$("#folder")).uploadFile(resolve(folder));
await tab.waitForFunction(() => document.querySelectorAll("article[data-map][data-done]").length === 6);
// One result open, its card's thumbnail drawn.
await tab.evaluate(() => { document.querySelector('article[data-map$="Round 2.Map.Gbx"] details').open = true; });
await tab.waitForFunction(() => document.querySelector("img[data-thumbnail]")?.complete);
await tab.screenshot({ path: picture, fullPage: true });
await browser.close();
EOF
  rm -rf "$pool"
  "$convert" docs/page.png -strip docs/page.png
  echo "docs/page.png: $("$convert" docs/page.png -format '%w x %h' info:)"
  [ "${1:-}" = page ] && exit 0
fi

cmake --preset windows64 >/dev/null && cmake --build --preset windows64 --target tallyglass >/dev/null

prefix=$PWD/build/windows64/wine-screenshot
source tests/windows/xvfb.sh
StartXvfb "$prefix" 1024x768x24
work=$(mktemp -d)
trap 'StopXvfb; rm -rf "$work"' EXIT
tests/windows/wine-run.sh "$prefix" wine64 reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
  /v Tahoma /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null
UseVirtualDesktop "$prefix"
tests/windows/wine-run.sh "$prefix" wine64 build/windows64/Tallyglass.exe "$PWD/samples/Sample.Map.Gbx" &
# The desktop is one plain colour: trimmed away, what remains is the box, once it is drawn.
for _ in $(seq 60); do
  sleep 1
  xwd -root -silent >"$work/screen.xwd"
  "$convert" "xwd:$work/screen.xwd" -trim +repage "$work/box.png"
  read -r width height <<<"$("$convert" "$work/box.png" -format '%w %h' info:)"
  if [ "$width" -gt 200 ] && [ "$height" -gt 100 ] && [ "$width" -lt 1024 ]; then
    sleep 1 && xwd -root -silent >"$work/screen.xwd"
    "$convert" "xwd:$work/screen.xwd" -trim +repage -strip docs/report-box.png
    echo "docs/report-box.png: $("$convert" docs/report-box.png -format '%w x %h' info:)"
    exit 0
  fi
done
echo "no message box appeared" >&2
exit 1
