// The page in each engine (tests/web/browsers.mjs), timed by the page's own clock on a page opened anew each
// run: cold, from opening the page to the sample's report (the choice made as soon as the page has loaded);
// from choosing the tiny map that declares a huge body to its sentence; from choosing BIG, a map of a 256 MB
// body, to its report, alternately with the native tool on the same map (output to /dev/null); the same for
// DENSE, a 256 MB body that LZO packs about 6:1; and from choosing every map of POOL (a folder of maps that
// make_bench_map --pool makes) at once to the last one done, alternately with the native tool over the same
// maps as `--json --files --limit=tm2020`. Prints the medians and the ratios page/native for each engine;
// exits 1 when a page showed no report.
// Usage: node bench/page_bench.mjs PAGE TALLYGLASS SAMPLE TINY_HUGE BIG DENSE POOL RUNS   (npm ci in tests/web)
import { spawnSync } from "node:child_process";
import { readdirSync } from "node:fs";
import { loadavg } from "node:os";
import { join, resolve } from "node:path";
import { pathToFileURL } from "node:url";

import { kEngines, OpenBrowser } from "../tests/web/browsers.mjs";

const [page, tool, sample, tiny, big, dense, poolDir] = process.argv.slice(2, 9).map((p) => resolve(p));
const runs = Number(process.argv[9] || 5);
const Median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const pool = readdirSync(poolDir).filter((name) => name.endsWith(".Map.Gbx")).sort().map((name) => join(poolDir, name));

// Opens the page, chooses the maps, and gives the page's times: since it was opened, and since the choice,
// to every result marked done; and the first result's first line.
async function TimeChoice(browser, maps) {
  await browser.Open(pathToFileURL(page).href);
  await browser.Evaluate((count) => {
    window.timedChoice = new Promise((done) => {
      document.addEventListener("change", () => {
        const chosen = performance.now();
        let left = count;
        // Counted from the changes themselves: a search of a pool's page at each would weigh on its time.
        new MutationObserver((changes, observer) => {
          left -= changes.filter((change) => change.target.tagName === "ARTICLE").length;
          if (left > 0) return;
          observer.disconnect();
          const now = performance.now();
          // A pool's details are folded, not drawn: it has no first line.
          const line = (document.querySelector("article[data-done] [data-kind]")?.textContent ?? "").split("\n")[0];
          done({ opened: now, chosen: now - chosen, line });
        }).observe(document.body, { subtree: true, attributes: true, attributeFilter: ["data-done"] });
      }, { capture: true, once: true });
    });
  }, maps.length);
  await browser.Choose(maps);
  return browser.Evaluate(() => window.timedChoice);
}

// The native tool's time on the maps, as the page's downloads would have them.
function TimeNative(maps, options) {
  const start = performance.now();
  const run = spawnSync(tool, [...options, ...maps], { stdio: ["ignore", "ignore", "inherit"] });
  const time = performance.now() - start;
  // 1 is also a pool with findings (items listed without their files).
  if (run.status !== 0 && run.status !== 1) throw new Error(`${tool}: exit status ${run.status}`);
  return time;
}

let failed = false;
const Ratio = (name, native, inPage) => `${name}: native ${Median(native).toFixed(0)} ms, page ` +
  `${Median(inPage).toFixed(0)} ms, ratio ${(Median(inPage) / Median(native)).toFixed(2)}`;
for (const engine of kEngines) {
  const browser = await OpenBrowser(engine);
  const cold = [], huge = [], times = { big: [[], []], dense: [[], []], pool: [[], []] };
  let line = "";
  try {
    for (let i = 0; i < runs; ++i) {
      cold.push((await TimeChoice(browser, [sample])).opened);
      huge.push((await TimeChoice(browser, [tiny])).chosen);
      for (const [name, maps, options] of [["big", [big], []], ["dense", [dense], []],
                                           ["pool", pool, ["--json", "--files", "--limit=tm2020"]]]) {
        times[name][0].push(TimeNative(maps, options));
        const timed = await TimeChoice(browser, maps);
        times[name][1].push(timed.chosen);
        if (name === "big") line = timed.line;
      }
    }
  } finally {
    await browser.Close();
  }
  console.log(`${browser.version}: cold ${Median(cold).toFixed(0)} ms, tiny map declaring a huge body ` +
              `${Median(huge).toFixed(0)} ms; ${Ratio("256 MB body", ...times.big)}; ` +
              `${Ratio("256 MB body packed 6:1", ...times.dense)}; ${Ratio(`${pool.length} maps at once`, ...times.pool)} ` +
              `(medians of ${runs}, load average ${loadavg().map((l) => l.toFixed(2)).join(" ")}); the page's ` +
              `first line: ${line}`);
  failed ||= !line.startsWith("Number of embedded items: ");
}
process.exit(failed ? 1 : 0);
