// The page in each engine (tests/web/browsers.mjs), timed by the page's own clock on a page opened anew each
// run: cold, from opening the page to the sample's report (the choice made as soon as the page has loaded);
// from choosing the tiny map that declares a huge body to its sentence; and from choosing the 256 MB body's
// map to its report, alternately with the native tool on the same map (output to /dev/null). Prints the
// medians and the ratio page/native for each engine; exits 1 when a page showed no report.
// Usage: node bench/page_bench.mjs PAGE TALLYGLASS SAMPLE TINY_HUGE BIG RUNS   (npm ci in tests/web first)
import { spawnSync } from "node:child_process";
import { resolve } from "node:path";
import { pathToFileURL } from "node:url";

import { kEngines, OpenBrowser } from "../tests/web/browsers.mjs";

const [page, tool, sample, tiny, big] = process.argv.slice(2, 7).map((p) => resolve(p));
const runs = Number(process.argv[7] || 5);
const Median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

// Opens the page, chooses the map, and gives the page's times: since it was opened, and since the choice,
// to the map's result marked done; and the result's first line.
async function TimeChoice(browser, map) {
  await browser.Open(pathToFileURL(page).href);
  await browser.Evaluate(() => {
    window.timedChoice = new Promise((done) => {
      document.addEventListener("change", () => {
        const chosen = performance.now();
        new MutationObserver((changes, observer) => {
          const result = document.querySelector("[data-map][data-done]");
          if (!result) return;
          observer.disconnect();
          const now = performance.now();
          done({ opened: now, chosen: now - chosen, line: result.querySelector("[data-kind]").textContent.split("\n")[0] });
        }).observe(document.body, { subtree: true, childList: true, attributes: true });
      }, { capture: true, once: true });
    });
  });
  await browser.Choose([map]);
  return browser.Evaluate(() => window.timedChoice);
}

let failed = false;
for (const engine of kEngines) {
  const browser = await OpenBrowser(engine);
  const cold = [], huge = [], native = [], inPage = [];
  let line = "";
  try {
    for (let i = 0; i < runs; ++i) {
      cold.push((await TimeChoice(browser, sample)).opened);
      huge.push((await TimeChoice(browser, tiny)).chosen);
      const start = performance.now();
      const run = spawnSync(tool, [big], { stdio: ["ignore", "ignore", "inherit"] });
      native.push(performance.now() - start);
      if (run.status !== 0) throw new Error(`${tool} ${big}: exit status ${run.status}`);
      const timed = await TimeChoice(browser, big);
      inPage.push(timed.chosen);
      line = timed.line;
    }
  } finally {
    await browser.Close();
  }
  const [n, p] = [Median(native), Median(inPage)];
  console.log(`${browser.version}: cold ${Median(cold).toFixed(0)} ms, tiny map declaring a huge body ` +
              `${Median(huge).toFixed(0)} ms; 256 MB body: native ${n.toFixed(0)} ms, page ${p.toFixed(0)} ms, ratio ` +
              `${(p / n).toFixed(2)} (medians of ${runs}); the page's first line: ${line}`);
  failed ||= !line.startsWith("Number of embedded items: ");
}
process.exit(failed ? 1 : 0);
