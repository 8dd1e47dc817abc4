// The page in Debian's headless Chromium, opened from disk: the sample's report within a second of a cold
// start, then every map of the run table at once, and a folder, through the real file input, and the sample
// dropped on the drop zone. Each map must get
// a result of its own with the boxes the Windows program shows, in order; no request may leave the page, and no
// map text may become markup. Prints ok:/FAILED: lines as the test command counts them; exit 1 on a failure.
// Usage: node page_test.mjs PAGE CASES_DIR SAMPLE_MAP   (CASES_DIR as write_case_maps DIR messages writes it)
import { readFileSync } from "node:fs";
import { join, resolve } from "node:path";
import { pathToFileURL } from "node:url";

import { chromium } from "playwright-core";

const [page, casesDir, sample] = process.argv.slice(2).map((p) => resolve(p));
const pageUrl = pathToFileURL(page).href;
const cases = JSON.parse(readFileSync(join(casesDir, "messages.json"), "utf8"));
let failures = 0;

function Check(name, problem) {
  if (problem) {
    failures += 1;
    console.log(`FAILED: web: ${name}: ${problem}`);
  } else {
    console.log(`ok: web: ${name}`);
  }
}

// Each result as the tests may rely on: its name, whether its run ended, its boxes' kinds and texts.
function Results(tab) {
  return tab.evaluate(() =>
    Array.from(document.querySelectorAll("[data-map]"), (result) => ({
      map: result.dataset.map,
      done: "done" in result.dataset,
      boxes: Array.from(result.querySelectorAll("[data-kind]"), (box) => ({
        kind: box.dataset.kind,
        text: box.textContent,
      })),
    })),
  );
}

// The real input, given paths as a person's picker gives them; a folder among them as a dropped one arrives.
async function ChooseFiles(tab, paths) {
  const session = await tab.context().newCDPSession(tab);
  const { root } = await session.send("DOM.getDocument");
  const input = { nodeId: root.nodeId, selector: "input[type=file][multiple]" };
  const { nodeId } = await session.send("DOM.querySelector", input);
  await session.send("DOM.setFileInputFiles", { nodeId, files: paths });
}

const browser = await chromium.launch({
  executablePath: "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
         "--disable-component-update", "--disable-sync"],
});
const requests = [];
const dialogs = [];
const errors = [];
try {
  const context = await browser.newContext();
  context.on("request", (request) => requests.push(request.url()));
  const tab = await context.newPage();
  tab.on("pageerror", (error) => errors.push(String(error)));
  tab.on("console", (message) => message.type() === "error" && errors.push(message.text()));
  tab.on("dialog", (dialog) => {
    dialogs.push(dialog.message());
    dialog.dismiss();
  });

  const start = Date.now();
  await tab.goto(pageUrl);
  await ChooseFiles(tab, [sample]);
  await tab.waitForSelector("[data-map][data-done]", { timeout: 10000 });
  const coldMs = Date.now() - start;
  const sampleTexts = JSON.stringify(cases.find((c) => c.map === "sample.Map.Gbx").messages
    .map((m) => m.text.replaceAll("\r\n", "\n")));
  const TextsOf = (results, map) => JSON.stringify(results.find((r) => r.map === map).boxes.map((b) => b.text));
  const coldTexts = TextsOf(await Results(tab), "Sample.Map.Gbx");
  Check(`the sample's report, cold, in ${coldMs} ms`, coldTexts !== sampleTexts ? `boxes ${coldTexts}`
        : coldMs > 1000 ? "more than 1000 ms" : "");

  await tab.reload();
  await ChooseFiles(tab, cases.map((c) => join(casesDir, c.map)));
  await tab.waitForFunction((count) => document.querySelectorAll("[data-map][data-done]").length === count,
                            cases.length, { timeout: 60000 });
  const results = await Results(tab);
  Check(`${cases.length} maps at once, a result each in the order given`,
        JSON.stringify(results.map((r) => r.map)) !== JSON.stringify(cases.map((c) => c.map)) ? "results: " +
        results.map((r) => r.map).join(", ") : "");
  for (const c of cases) {
    const expected = c.messages.map((m) => ({ kind: m.kind, text: m.text.replaceAll("\r\n", "\n") }));
    const got = results.find((r) => r.map === c.map);
    Check(c.map, !got ? "no result" : JSON.stringify(got.boxes) !== JSON.stringify(expected)
      ? `boxes ${JSON.stringify(got.boxes)}, expected ${JSON.stringify(expected)}` : "");
  }

  // Dropped on the zone instead: the drop's File reaches the worker as the input's do.
  const dropped = await tab.evaluateHandle((bytes) => {
    const transfer = new DataTransfer();
    transfer.items.add(new File([new Uint8Array(bytes)], "dropped.Map.Gbx"));
    return transfer;
  }, [...readFileSync(sample)]);
  await tab.dispatchEvent("#drop", "drop", { dataTransfer: dropped });
  await tab.waitForSelector('[data-map="dropped.Map.Gbx"][data-done]', { timeout: 10000 });
  const droppedTexts = TextsOf(await Results(tab), "dropped.Map.Gbx");
  Check("a map dropped on the zone", droppedTexts !== sampleTexts ? `boxes ${droppedTexts}` : "");

  const markup = await tab.evaluate(() => document.querySelectorAll("#results img, #results script").length);
  Check("map text drawn as characters", markup > 0 ? `${markup} elements from map text`
        : dialogs.length > 0 ? `dialogs: ${dialogs.join(", ")}` : "");

  Check("no error in the page or its worker", errors.length > 0 ? errors.join("; ") : "");

  // The policy refuses even a data: URL, which would need no network.
  const refused = await tab.evaluate(() => new Promise((done) => {
    document.addEventListener("securitypolicyviolation", (event) => done(event.effectiveDirective), { once: true });
    fetch("data:,x").then(() => done("answered"), () => {});
  }));
  Check("the page's policy refuses requests", refused === "connect-src" ? "" : `fetch: ${refused}`);
  const sent = requests.filter((url) => url !== pageUrl && !url.startsWith("blob:"));
  Check("no request left the page", sent.length > 0 ? `requests: ${sent.join(", ")}` : "");
} catch (error) {
  Check("the page ran", String(error));
} finally {
  await browser.close();
}
process.exit(failures > 0 ? 1 : 0);
