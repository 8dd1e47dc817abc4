// The page in each engine (tests/web/browsers.mjs), timed by the page's own clock on a page opened anew each
// run: cold, from opening the page to the sample's report (the choice made as soon as the page has loaded);
// from choosing the tiny map that declares a huge body to its sentence; from choosing the 256 MB body's map to
// its report, alternately with the native tool on the same map (output to /dev/null); and from choosing a
// pool of 300 maps at once to the last one done, alternately with the native tool over the same maps as
// `--json --files --limit=tm2020`. The pool is made once beside the big map, in pool/, with make_bench_map
// (beside the tool, in bench/): bodies of 256 KB to 2 MB, every tenth map with an embedded file of 1 MB of
// zeros. Prints the medians and the ratios page/native for each engine; exits 1 when a page showed no report.
// Usage: node bench/page_bench.mjs PAGE TALLYGLASS SAMPLE TINY_HUGE BIG RUNS   (npm ci in tests/web first)
import { spawnSync } from "node:child_process";
import { existsSync, mkdirSync, readdirSync } from "node:fs";
import { loadavg } from "node:os";
import { dirname, join, resolve } from "node:path";
import { pathToFileURL } from "node:url";

import { kEngines, OpenBrowser } from "../tests/web/browsers.mjs";

const [page, tool, sample, tiny, big] = process.argv.slice(2, 7).map((p) => resolve(p));
const runs = Number(process.argv[7] || 5);
const Median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const kPoolSize = 300;

function MakePool() {
  const dir = join(dirname(big), "pool");
  if (!existsSync(join(dir, `${kPoolSize - 1}.Map.Gbx`))) {
    mkdirSync(dir, { recursive: true });
    for (let i = 0; i < kPoolSize; ++i) {
      const body = [262144, 524288, 1048576, 2097152][i % 4];
      const zeros = i % 10 === 9 ? ["1000000"] : [];
      const made = spawnSync(join(dirname(tool), "bench", "make_bench_map"),
                             [join(dir, `${i}.Map.Gbx`), String(body), String(10 + i % 50), ...zeros], { stdio: "ignore" });
      if (made.status !== 0) throw new Error(`make_bench_map: exit status ${made.status}`);
    }
  }
  return readdirSync(dir).filter((name) => name.endsWith(".Map.Gbx")).sort().map((name) => join(dir, name));
}
const pool = MakePool();

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
  if (run.status !== 0) throw new Error(`${tool}: exit status ${run.status}`);
  return time;
}

let failed = false;
for (const engine of kEngines) {
  const browser = await OpenBrowser(engine);
  const cold = [], huge = [], native = [], inPage = [], poolNative = [], poolPage = [];
  let line = "";
  try {
    for (let i = 0; i < runs; ++i) {
      cold.push((await TimeChoice(browser, [sample])).opened);
      huge.push((await TimeChoice(browser, [tiny])).chosen);
      native.push(TimeNative([big], []));
      const timed = await TimeChoice(browser, [big]);
      inPage.push(timed.chosen);
      line = timed.line;
      poolNative.push(TimeNative(pool, ["--json", "--files", "--limit=tm2020"]));
      poolPage.push((await TimeChoice(browser, pool)).chosen);
    }
  } finally {
    await browser.Close();
  }
  const [n, p, pn, pp] = [Median(native), Median(inPage), Median(poolNative), Median(poolPage)];
  console.log(`${browser.version}: cold ${Median(cold).toFixed(0)} ms, tiny map declaring a huge body ` +
              `${Median(huge).toFixed(0)} ms; 256 MB body: native ${n.toFixed(0)} ms, page ${p.toFixed(0)} ms, ratio ` +
              `${(p / n).toFixed(2)}; pool of ${pool.length} maps: native ${pn.toFixed(0)} ms, page ${pp.toFixed(0)} ms, ` +
              `ratio ${(pp / pn).toFixed(2)} (medians of ${runs}, load average ` +
              `${loadavg().map((l) => l.toFixed(2)).join(" ")}); the page's first line: ${line}`);
  failed ||= !line.startsWith("Number of embedded items: ");
}
process.exit(failed ? 1 : 0);
