// The page against the native tool on the same map: alternately, the tool end to end (output to /dev/null),
// and in headless Chromium the time from choosing the map in the page's file input (its change event) to the
// end of its run in the page (data-done), by the page's clock, on a page opened anew each time (its worker
// starts with the choice). Prints the medians, their ratio and the page's first line; exits 1 when the page
// showed no report.
// Usage: node bench/page_bench.mjs PAGE TALLYGLASS MAP RUNS   (playwright-core as tests/web installs it)
import { spawnSync } from "node:child_process";
import { createRequire } from "node:module";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath, pathToFileURL } from "node:url";

const repo = join(dirname(fileURLToPath(import.meta.url)), "..");
const { chromium } = createRequire(join(repo, "tests/web/package.json"))("playwright-core");
const [page, tool, map] = process.argv.slice(2, 5).map((p) => resolve(p));
const runs = Number(process.argv[5] || 5);

const Median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const browser = await chromium.launch({
  executablePath: "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
         "--disable-component-update", "--disable-sync"],
});
const tab = await browser.newPage();
const session = await tab.context().newCDPSession(tab);
const native = [];
const inPage = [];
let firstBox = "";
for (let i = 0; i < runs; ++i) {
  let start = performance.now();
  const run = spawnSync(tool, [map], { stdio: ["ignore", "ignore", "inherit"] });
  native.push(performance.now() - start);
  if (run.status !== 0) throw new Error(`${tool} ${map}: exit status ${run.status}`);

  await tab.goto(pathToFileURL(page).href);
  const { root } = await session.send("DOM.getDocument");
  const { nodeId } = await session.send("DOM.querySelector", { nodeId: root.nodeId, selector: "input[type=file]" });
  // Set up before the choice, which must not come before the listener.
  await tab.evaluate(() => { window.choiceToReport = new Promise((done) => {
    document.addEventListener("change", () => {
      const chosen = performance.now();
      new MutationObserver((changes, observer) => {
        if (!document.querySelector("[data-map][data-done]")) return;
        observer.disconnect();
        done(performance.now() - chosen);
      }).observe(document.body, { subtree: true, childList: true, attributes: true });
    }, { capture: true, once: true });
  }); });
  await session.send("DOM.setFileInputFiles", { nodeId, files: [map] });
  inPage.push(await tab.evaluate(() => window.choiceToReport));
  firstBox = await tab.evaluate(() => document.querySelector("[data-kind]").textContent.split("\n")[0]);
}
await browser.close();
const [n, p] = [Median(native), Median(inPage)];
console.log(`native ${n.toFixed(0)} ms, page ${p.toFixed(0)} ms, ratio ${(p / n).toFixed(2)} (medians of ${runs});` +
            ` the page's first line: ${firstBox}`);
process.exit(firstBox.startsWith("Number of embedded items: ") ? 0 : 1);
