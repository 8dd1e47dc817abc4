// The page in Chromium, Firefox and WebKit, opened from disk: in each, every map of the run table at once
// through the real file input, each with its own result and the boxes it must show (reports whole, names on
// their lines), the embedded files and findings that the Linux command gives for it, its limit line, one
// summary for them all, no progress bar left, a map dropped on the zone, no map text turned into markup and no
// error in the page or its worker. In Chromium also: served over http, a folder and a map dropped for real, no
// request leaving the page, the limit's chooser, and a browser without WebAssembly. Prints ok:/FAILED: lines
// as the test command counts them; exit 1 on a failure.
// Usage: node page_test.mjs PAGE CASES_DIR SAMPLE_MAP TALLYGLASS
//        (CASES_DIR as write_case_maps DIR messages writes it; TALLYGLASS the Linux command)
import { spawnSync } from "node:child_process";
import { readFileSync } from "node:fs";
import { createServer } from "node:http";
import { join, resolve } from "node:path";
import { pathToFileURL } from "node:url";

import { kEngines, OpenBrowser } from "./browsers.mjs";

const [page, casesDir, sample, tool] = process.argv.slice(2).map((p) => resolve(p));
const pageUrl = pathToFileURL(page).href;
const cases = JSON.parse(readFileSync(join(casesDir, "messages.json"), "utf8"));
// Each map's embedded files, largest packed first, and findings, as the Linux command gives them.
const maps = cases.filter((c) => !c.folder);
const { stdout } = spawnSync(tool, ["--json", "--files", ...maps.map((c) => join(casesDir, c.map))], { encoding: "utf8" });
stdout.trim().split("\n").forEach((line, i) => {
  const { files = [], findings = [] } = JSON.parse(line);
  maps[i].files = files.sort((a, b) => b.packed_size - a.packed_size).map((f) => [f.name, f.size, f.packed_size]);
  maps[i].findings = findings.map((f) => f.kind);
});
const sampleCase = cases.find((c) => c.map === "sample.Map.Gbx");
let failures = 0;

function Check(name, problem) {
  if (problem) {
    failures += 1;
    console.log(`FAILED: web: ${name}: ${problem}`);
  } else {
    console.log(`ok: web: ${name}`);
  }
}

// What the test may rely on: each result's name, whether its run ended, its boxes' kinds and texts, its
// files and findings, whether its heading names it and it has a limit line; the summary, and the progress
// bars left.
function Results() {
  return {
    results: Array.from(document.querySelectorAll("[data-map]"), (result) => ({
      map: result.dataset.map,
      done: "done" in result.dataset,
      named: document.getElementById(result.getAttribute("aria-labelledby"))?.textContent === result.dataset.map,
      boxes: Array.from(result.querySelectorAll("[data-kind]"), (box) => ({ kind: box.dataset.kind,
                                                                          text: box.textContent })),
      files: Array.from(result.querySelectorAll("[data-file]"), (file) => [file.dataset.file, Number(file.dataset.size),
                                                                         Number(file.dataset.packedSize)]),
      findings: Array.from(result.querySelectorAll("[data-finding]"), (finding) => finding.dataset.finding),
      limit: result.querySelector(".limit")?.textContent,
    })),
    summary: document.getElementById("summary").textContent,
    progress: document.querySelectorAll("[data-map] progress").length,
  };
}

const Done = (count) => document.querySelectorAll("[data-map][data-done]").length === count;
const Boxes = (c) => JSON.stringify(c.messages.map((m) => ({ kind: m.kind, text: m.text.replaceAll("\r\n", "\n") })));

// Chooses the cases at once and checks every result against its boxes, in the order given.
async function CheckTable(browser, label, chosen) {
  await browser.Choose(chosen.map((c) => join(casesDir, c.map)));
  await browser.WaitFor(Done, 120000, chosen.length);
  const { results, summary, progress } = await browser.Evaluate(Results);
  Check(`${label}: ${chosen.length} maps at once, a result each in the order given`,
        JSON.stringify(results.map((r) => r.map)) !== JSON.stringify(chosen.map((c) => c.map))
          ? `results: ${results.map((r) => r.map).join(", ")}` : "");
  for (const c of chosen) {
    const got = results.find((r) => r.map === c.map);
    const files = JSON.stringify(c.files || []), findings = JSON.stringify(c.findings || []);
    Check(`${label}: ${c.map}`, !got ? "no result" : !got.named ? "not named by its heading"
          : JSON.stringify(got.boxes) !== Boxes(c) ? `boxes ${JSON.stringify(got.boxes)}, expected ${Boxes(c)}`
          : JSON.stringify(got.files) !== files ? `files ${JSON.stringify(got.files)}, expected ${files}`
          : JSON.stringify(got.findings) !== findings ? `findings ${JSON.stringify(got.findings)}, expected ${findings}`
          : !c.folder && !/^The map file is [0-9,]+ bytes under the 7,336,960 bytes that Trackmania \(2020\) takes\.$/
            .test(got.limit) ? `limit line ${got.limit}` : "");
  }
  const reports = chosen.filter((c) => c.messages.at(-1).kind === "information").length;
  const Count = (n, word) => `${n} ${word}${n === 1 ? "" : "s"}`;
  const expected = `${Count(chosen.length, "map")}: ${Count(reports, "report")}, ${Count(chosen.length - reports, "error")}`;
  Check(`${label}: one summary, no progress bar left`, summary !== expected ? `summary "${summary}", expected "${expected}"`
        : progress > 0 ? `${progress} progress bars` : "");
}

// Dropped on the zone as a page's script can drop it: a File made of the sample's bytes.
async function CheckDrop(browser, label) {
  await browser.Evaluate((bytes) => {
    const transfer = new DataTransfer();
    transfer.items.add(new File([new Uint8Array(bytes)], "dropped.Map.Gbx"));
    document.getElementById("drop").dispatchEvent(new DragEvent("drop", { dataTransfer: transfer, bubbles: true }));
  }, [...readFileSync(sample)]);
  await browser.WaitFor(() => document.querySelector('[data-map="dropped.Map.Gbx"][data-done]'), 10000);
  const { results } = await browser.Evaluate(Results);
  const got = JSON.stringify(results.find((r) => r.map === "dropped.Map.Gbx").boxes);
  Check(`${label}: a map dropped on the zone`, got !== Boxes(sampleCase) ? `boxes ${got}` : "");
}

async function CheckEngine(engine) {
  const browser = await OpenBrowser(engine);
  const label = `${engine} (${browser.version}), from disk`;
  try {
    await browser.Open(pageUrl);
    // Only Chromium's driver sets a folder on the input as a user's choice of one arrives; WebDriver gives
    // WebKit an empty file, BiDi gives Firefox none.
    const chosen = cases.filter((c) => engine === "chromium" || !c.folder);
    if (chosen.length < cases.length) console.log(`note: web: ${engine}: no folder on the input, which its driver cannot set`);
    await CheckTable(browser, label, chosen);
    await CheckDrop(browser, label);
    const markup = await browser.Evaluate(() => document.querySelectorAll("#results img, #results script").length);
    Check(`${label}: map text drawn as characters`, markup > 0 ? `${markup} elements from map text` : "");
    const errors = await browser.Errors();
    Check(`${label}: no error in the page or its worker`, errors.length > 0 ? errors.join("; ") : "");
    if (engine === "chromium") await CheckChromiumOnly(browser);
  } finally {
    await browser.Close();
  }
}

// A real drop of a map and a folder, which only Chromium's DevTools protocol can make; the page's policy; the
// requests; and the same page from a web server.
async function CheckChromiumOnly(browser) {
  const cdp = await browser.Cdp();
  const at = await browser.Evaluate(() => {
    const zone = document.getElementById("drop").getBoundingClientRect();
    return { x: zone.x + zone.width / 2, y: zone.y + zone.height / 2 };
  });
  const data = { items: [], files: [join(casesDir, "folder.Map.Gbx"), sample], dragOperationsMask: 1 };
  const before = (await browser.Evaluate(Results)).results.length;
  for (const type of ["dragEnter", "dragOver", "drop"]) await cdp.send("Input.dispatchDragEvent", { type, ...at, data });
  await browser.WaitFor(Done, 10000, before + 2);
  const dropped = (await browser.Evaluate(Results)).results.slice(before).map((r) => JSON.stringify(r.boxes));
  Check("chromium: a folder and a map dropped for real", dropped[0] !== Boxes(cases.find((c) => c.folder)) ||
        dropped[1] !== Boxes(sampleCase)
        ? `boxes ${dropped.join(", ")}` : "");

  // The policy refuses even a data: URL, which would need no network.
  const refused = await browser.Evaluate(() => new Promise((done) => {
    document.addEventListener("securitypolicyviolation", (event) => done(event.effectiveDirective), { once: true });
    fetch("data:,x").then(() => done("answered"), () => {});
  }));
  Check("chromium: the page's policy refuses requests", refused === "connect-src" ? "" : `fetch: ${refused}`);
  const sent = (await browser.Requests()).filter((url) => url !== pageUrl && !url.startsWith("blob:"));
  Check("chromium: no request left the page", sent.length > 0 ? `requests: ${sent.join(", ")}` : "");

  // Another game's limit applies to every result at once, and is kept for the page's next opening.
  const forever = await browser.Evaluate(() => {
    const chooser = document.getElementById("game");
    chooser.value = "forever";
    chooser.dispatchEvent(new Event("change"));
    return Array.from(document.querySelectorAll(".limit"), (line) => line.textContent.endsWith("TrackMania Forever takes."));
  });
  await browser.Open(pageUrl);
  const kept = await browser.Evaluate(() => document.getElementById("game").value);
  Check("chromium: the chosen game's limit, on every result and kept", forever.includes(false) || forever.length === 0
        ? `lines ${JSON.stringify(forever)}` : kept !== "forever" ? `kept ${kept}` : "");

  const server = createServer((request, response) => response.end(readFileSync(page))).listen(0, "127.0.0.1");
  await new Promise((done) => server.once("listening", done));
  try {
    await browser.Open(`http://127.0.0.1:${server.address().port}/tallyglass.html`);
    await CheckTable(browser, "chromium, over http", [sampleCase]);
  } finally {
    server.close();
  }
}

// Without WebAssembly (as in Safari's Lockdown Mode) the page says so once, and each map is done with it.
async function CheckWithoutWebAssembly() {
  const browser = await OpenBrowser("chromium", ["--js-flags=--jitless"]);
  try {
    await browser.Open(pageUrl);
    await browser.Choose([sample, sample]);
    await browser.WaitFor(Done, 10000, 2);
    const shown = await browser.Evaluate(() => ({
      notices: Array.from(document.querySelectorAll("[role=alert]")).filter((n) => !n.hidden).map((n) => n.textContent),
      boxes: Array.from(document.querySelectorAll("[data-kind]"), (box) => box.textContent),
    }));
    Check("chromium without WebAssembly: said once, each map done with it",
          shown.notices.length !== 1 || !/WebAssembly/.test(shown.notices[0]) ? `notices ${JSON.stringify(shown.notices)}`
          : shown.boxes.length !== 2 || shown.boxes.some((box) => box !== shown.notices[0])
            ? `boxes ${JSON.stringify(shown.boxes)}` : "");
  } finally {
    await browser.Close();
  }
}

for (const engine of kEngines) {
  try {
    await CheckEngine(engine);
  } catch (error) {
    Check(`${engine}: the page ran`, String(error));
  }
}
try {
  await CheckWithoutWebAssembly();
} catch (error) {
  Check("chromium without WebAssembly: the page ran", String(error));
}
process.exit(failures > 0 ? 1 : 0);
