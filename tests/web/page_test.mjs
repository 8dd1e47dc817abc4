// The page in Chromium, Firefox and WebKit, opened from disk: in each, every map of the run table and every archive
// case at once through the real file input, a pool: each with its own result and the boxes it must show (reports
// whole, names on their lines), the embedded files and findings that the Linux command gives for it (the findings
// above the files, their packed total the command's), its limit line where it got a report; the overview's rows
// against the command's `--json --files --limit` lines over the same maps in the same order, attention first,
// sorted by keyboard and by the card's columns, filtered; each map's card against its `--info` lines, a
// thumbnail turned upright and one that does not decode not shown, a name in its colours, a stranger's markup
// and addresses as text; a map with an earlier map's uid; both downloads (the JSON Lines byte for byte the
// command's, also for another game chosen after the run; the CSV's numbers plain, a name like a formula kept as
// text, the card's columns); one summary, no progress bar left; a map dropped on the zone;
// a slow map stopped while its files are inflated, keeping its report's numbers, and the next map run; Stop all on
// maps running and waiting; Clear, also while a map runs, and the same maps chosen again each once; no map text
// turned into markup and no error in the page or its worker. In Chromium also: served over http, a folder tree and
// a map dropped for real, a folder and maps chosen by keyboard, no request leaving the page, the limit's chooser
// (lines and downloads), and a browser without WebAssembly. Prints ok:/FAILED: lines as the test command counts
// them; exit 1 on a failure.
// Usage: node page_test.mjs PAGE CASES_DIR SAMPLE_MAP TALLYGLASS
//        (CASES_DIR as write_case_maps DIR messages writes it; TALLYGLASS the Linux command)
import { spawnSync } from "node:child_process";
import { copyFileSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { createServer } from "node:http";
import { tmpdir } from "node:os";
import { basename, join, resolve } from "node:path";
import { pathToFileURL } from "node:url";

import { kEngines, OpenBrowser } from "./browsers.mjs";

const [page, casesDir, sample, tool] = process.argv.slice(2).map((p) => resolve(p));
const pageUrl = pathToFileURL(page).href;
const cases = JSON.parse(readFileSync(join(casesDir, "messages.json"), "utf8"));
const sampleCase = cases.find((c) => c.map === "sample.Map.Gbx");
let failures = 0;

// The command's lines for maps named as the page names them: paths inside `dir`.
function CommandLines(dir, names, limit = "tm2020") {
  const { stdout } = spawnSync(tool, ["--json", "--files", `--limit=${limit}`, "--", ...names],
                               { cwd: dir, encoding: "utf8" });
  return stdout.split(/(?<=\n)/);
}
CommandLines(casesDir, cases.map((c) => c.map)).forEach((line, i) => {
  cases[i].line = line;
  cases[i].json = JSON.parse(line);
});

// The cases as the command reports them in one run over exactly these maps in this order: a map holds the
// finding duplicate_uid only behind an earlier map of the same run with its uid. With each its card as --info
// writes it: the lines ahead of its report.
const kCardLine = /^(Name|Author|Uid|Title pack|Environment|Medal times|Dependency): |^No map card in its header\.$/;
function InOneRun(chosen) {
  const names = chosen.map((c) => c.map);
  const lines = CommandLines(casesDir, names);
  const { stdout } = spawnSync(tool, ["--info", "--", ...names], { cwd: casesDir, encoding: "utf8" });
  const sections = stdout.split(/^==> .* <==\n/m).slice(1).map((section) => {
    const text = section.split("\n");
    return text.slice(0, Math.max(0, text.findIndex((line) => !kCardLine.test(line))));
  });
  return chosen.map((c, i) => ({ ...c, line: lines[i], json: JSON.parse(lines[i]), card: sections[i] }));
}
const Kinds = (json) => [...new Set((json.findings || []).map((f) => f.kind))];
const Attention = (json) => Boolean(json.limit?.over || Kinds(json).length > 0 || json.error_code);

function Check(name, problem) {
  if (problem) {
    failures += 1;
    console.log(`FAILED: web: ${name}: ${problem}`);
  } else {
    console.log(`ok: web: ${name}`);
  }
}

// What the test may rely on: each result's name, whether its run ended, its boxes' kinds and texts, its
// files and findings, whether its heading names it, its limit line and its one line; the overview's rows as
// they stand; the summary, and the progress bars left.
function Results() {
  return {
    results: Array.from(document.querySelectorAll("article[data-map]"), (result) => ({
      map: result.dataset.map,
      done: "done" in result.dataset,
      named: document.getElementById(result.getAttribute("aria-labelledby"))?.textContent === result.dataset.map,
      boxes: Array.from(result.querySelectorAll("[data-kind]"), (box) => ({ kind: box.dataset.kind,
                                                                          text: box.textContent })),
      files: Array.from(result.querySelectorAll("[data-file]"), (file) => [file.dataset.file, Number(file.dataset.size),
                                                                         Number(file.dataset.packedSize)]),
      findings: Array.from(result.querySelectorAll("[data-finding]"), (finding) => finding.dataset.finding),
      limit: result.querySelector(".limit")?.textContent,
      gist: result.querySelector(".gist").textContent,
      // The findings list and the table of files, in the order they stand.
      parts: Array.from(result.querySelectorAll("ul.findings, .files table"), (part) => part.tagName),
      total: result.querySelector(".files tfoot td")?.textContent,
      card: Array.from(result.querySelectorAll(".card dl > div, .card > p"), (row) => row.tagName === "P"
        ? row.textContent : `${row.firstChild.textContent}: ${row.lastChild.textContent}`),
      sameUid: result.querySelector('[data-finding="duplicate_uid"]')?.textContent,
    })),
    rows: Array.from(document.querySelectorAll("table[data-overview] tr[data-row]"), (row) => ({
      map: row.dataset.map, fileSize: row.dataset.fileSize, items: row.dataset.items,
      embeddedSize: row.dataset.embeddedSize, findings: row.dataset.findings, error: row.dataset.error,
      shown: !row.hidden, uid: row.dataset.uid, name: row.dataset.name,
      cells: Array.from(row.cells, (cell) => cell.textContent),
    })),
    overview: !document.getElementById("overview").hidden,
    counts: document.getElementById("counts").textContent,
    summary: document.getElementById("summary").textContent,
    progress: document.querySelectorAll("[data-map] progress").length,
  };
}

const Done = (count) => document.querySelectorAll("article[data-map][data-done]").length === count;
const Boxes = (c) => JSON.stringify(c.messages.map((m) => ({ kind: m.kind, text: m.text.replaceAll("\r\n", "\n") })));
const kLimitLine = new RegExp("^The map file is [0-9.]+ (bytes|kB|KB|MB), [0-9.]+ (bytes|kB|KB|MB) under the 7\\.3 MB " +
                              "that Trackmania \\(2020\\) takes\\. \\([0-9,]+ bytes, [0-9,]+ under 7,336,960\\)$");

// The files and findings of a result against the command's, largest packed first.
function FilesProblem(got, json) {
  const files = JSON.stringify([...(json.files || [])].sort((a, b) => b.packed_size - a.packed_size)
    .map((f) => [f.name, f.size, f.packed_size]));
  const findings = JSON.stringify((json.findings || []).map((f) => f.kind));
  return JSON.stringify(got.files) !== files ? `files ${JSON.stringify(got.files)}, expected ${files}`
    : JSON.stringify(got.findings) !== findings ? `findings ${JSON.stringify(got.findings)}, expected ${findings}` : "";
}

// What the command's --files says the archive of a map in the cases holds packed, each byte once ("Packed: 732
// bytes in all"): not the sum of its files' packed sizes, which a bomb's entries share.
const packedTotals = new Map();
function PackedTotal(map) {
  if (!packedTotals.has(map)) {
    const { stdout } = spawnSync(tool, ["--files", "--", map], { cwd: casesDir, encoding: "utf8" });
    packedTotals.set(map, /^Packed: (.+) in all/m.exec(stdout)?.[1]);
  }
  return packedTotals.get(map);
}

// The overview's row of a map against the command's line for it (a field it has not: null, as WebDriver
// gives it).
// With the card as --info writes it, also the cells of the name (its text), the author, the title pack and the
// author time.
function RowProblem(row, json, card) {
  const expected = { map: json.map, fileSize: json.file_size?.toString(), items: json.error_code ? undefined :
                     String(json.items.length), embeddedSize: json.error_code ? undefined : String(json.embedded_size),
                     findings: Kinds(json).join(" "), error: json.error_code || "", shown: true,
                     uid: json.info?.uid, name: json.info?.name };
  const Fields = (o) => JSON.stringify(Object.keys(expected).map((key) => o[key] ?? null));
  if (Fields(row) !== Fields(expected)) return `row ${Fields(row)}, expected ${Fields(expected)}`;
  if (!card) return "";
  const Said = (what) => card.find((line) => line.startsWith(`${what}: `))?.slice(what.length + 2) ?? "";
  const cells = JSON.stringify([Said("Name"), Said("Author"), Said("Title pack"),
                                /^author ([^,]+),/.exec(Said("Medal times"))?.[1] ?? ""]);
  return JSON.stringify(row.cells.slice(1, 5)) !== cells ? `cells ${JSON.stringify(row.cells)}, expected ${cells}` : "";
}

// The downloads as the page makes them: the Blob of each, read here (the page's policy lets it fetch nothing).
async function Downloads(browser) {
  return browser.Evaluate(async () => {
    const made = [];
    const create = URL.createObjectURL;
    const click = HTMLAnchorElement.prototype.click;
    URL.createObjectURL = (blob) => { made.push(blob); return create.call(URL, blob); };
    HTMLAnchorElement.prototype.click = function () { made.push(this.download); };
    try {
      document.querySelector('[data-download="jsonl"]').click();
      document.querySelector('[data-download="csv"]').click();
    } finally {
      URL.createObjectURL = create;
      HTMLAnchorElement.prototype.click = click;
    }
    return { names: [made[1], made[3]], jsonl: await made[0].text(), csv: await made[2].text() };
  });
}

// A CSV line's fields as a spreadsheet reads them.
const CsvFields = (line) => [...`${line},`.matchAll(/("(?:[^"]|"")*"|[^,]*),/g)]
  .map((m) => m[1].startsWith('"') ? m[1].slice(1, -1).replaceAll('""', '"') : m[1]);

// A CSV row's fields but the error's sentence, as the command's line gives them, under Trackmania (2020)'s
// limit: numbers plain, as a spreadsheet reads numbers.
function CsvRow(map, json) {
  const size = json.file_size, reported = !json.error_code, limit = 7336960;
  return [map, reported ? String(json.items.length) : "", reported ? String(json.embedded_size) : "",
          String(size ?? ""), "tm2020", String(limit), size === undefined ? "" : String(size > limit),
          size === undefined ? "" : String(size - limit), Kinds(json).join(" "), json.error_code || ""];
}

// The first line where two texts of lines part, for a failure's message.
function Parting(got, expected) {
  const a = got.split("\n"), b = expected.split("\n");
  const i = a.findIndex((line, k) => line !== b[k]);
  return `line ${i + 1}: got ${(a[i] ?? "").slice(0, 300)}, expected ${(b[i] ?? "").slice(0, 300)}`;
}

async function CheckDownloads(browser, label, chosen) {
  const { names, jsonl, csv } = await Downloads(browser);
  const lines = chosen.map((c) => c.line).join("");
  Check(`${label}: JSON Lines download, the command's lines byte for byte`, names[0] !== "tallyglass.jsonl"
        ? `named ${names[0]}` : jsonl !== lines ? Parting(jsonl, lines) : "");
  const rows = csv.split("\r\n").filter((line) => line !== "").map(CsvFields);
  // The card's columns after the error's sentence, a text empty where the line has none.
  const Card = (info) => ["uid", "name_text", "author", "title"].map((key) => info?.[key] ?? "")
    .concat(String(info?.times?.author ?? ""));
  const wrong = chosen.find((c, i) =>
    JSON.stringify(rows[i + 1]?.slice(0, 10)) !== JSON.stringify(CsvRow(c.map, c.json)) ||
    JSON.stringify(rows[i + 1]?.slice(11)) !== JSON.stringify(Card(c.json.info)));
  Check(`${label}: CSV download, the overview's columns`, names[1] !== "tallyglass.csv" ? `named ${names[1]}`
        : rows[0].join(",") !== "map,items,embedded_size,file_size,limit,limit_bytes,over,margin_bytes,findings," +
          "error_code,error,uid,name_text,author,title,author_time"
          ? `header ${rows[0]}` : rows.length !== chosen.length + 1 ? `${rows.length} rows`
          : wrong ? `row of ${wrong.map}: ${JSON.stringify(rows[chosen.indexOf(wrong) + 1])}` : "");
}

// The table by keyboard: Tab from the Embedded heading to File size, Enter sorts ascending, Enter again
// descending; then the switch to the maps that need attention.
async function CheckOverviewUse(browser, label, chosen) {
  await browser.Evaluate(() => document.querySelector('[data-sort="embedded"]').focus());
  await browser.Press("Tab");
  await browser.Press("Enter");
  const Sizes = () => ({
    focused: document.activeElement.dataset.sort,
    sort: document.activeElement.parentNode.getAttribute("aria-sort"),
    sizes: Array.from(document.querySelectorAll("tr[data-row]"), (row) => row.dataset.fileSize ?? null),
  });
  const up = await browser.Evaluate(Sizes);
  await browser.Press("Enter");
  const down = await browser.Evaluate(Sizes);
  const known = chosen.map((c) => c.json.file_size).filter((s) => s !== undefined);
  const expected = (order) => JSON.stringify([...known.sort((a, b) => order * (a - b)).map(String),
                                              ...Array(chosen.length - known.length).fill(null)]);
  Check(`${label}: the overview sorted by keyboard, ascending then descending`,
        up.focused !== "size" ? `focus on ${up.focused}` : up.sort !== "ascending" || down.sort !== "descending"
          ? `aria-sort ${up.sort}, ${down.sort}` : JSON.stringify(up.sizes) !== expected(1) ? `ascending ${up.sizes}`
          : JSON.stringify(down.sizes) !== expected(-1) ? `descending ${down.sizes}` : "");

  await browser.Evaluate(() => document.getElementById("attention").click());
  const shown = (await browser.Evaluate(Results)).rows.filter((row) => row.shown).map((row) => row.map);
  await browser.Evaluate(() => {
    document.getElementById("attention").click();
    document.querySelector('[data-sort="attention"]').click();
  });
  const attention = chosen.filter((c) => Attention(c.json)).map((c) => c.map).sort();
  Check(`${label}: only the maps that need attention`, JSON.stringify(shown.sort()) !== JSON.stringify(attention)
        ? `shown ${shown}, expected ${attention}` : "");

  // By the card's columns: the names as the command gives them without codes, the author times; maps without
  // either last, each in the order chosen among equals.
  const Rows = () => Array.from(document.querySelectorAll("tr[data-row]"), (row) => row.dataset.map);
  for (const [key, Value] of [["name", (c) => c.json.info?.name_text ?? null],
                              ["author_time", (c) => c.json.info?.times?.author ?? null]]) {
    await browser.Evaluate((key) => document.querySelector(`[data-sort="${key}"]`).click(), key);
    const got = await browser.Evaluate(Rows);
    const expected = [...chosen].sort((a, b) => {
      const x = Value(a), y = Value(b);
      return x === null || y === null ? (x === null) - (y === null) : x < y ? -1 : x > y ? 1 : 0;
    }).map((c) => c.map);
    Check(`${label}: the overview sorted by ${key.replace("_", " ")}`,
          JSON.stringify(got) !== JSON.stringify(expected) ? `rows ${got}` : "");
  }
  await browser.Evaluate(() => document.querySelector('[data-sort="attention"]').click());
}

// Chooses the cases at once and checks every result against its boxes and the command's line, in the order
// given, and the overview with them.
async function CheckPool(browser, label, cases) {
  const chosen = InOneRun(cases);
  await browser.Choose(chosen.map((c) => join(casesDir, c.map)));
  await browser.WaitFor(Done, 180000, chosen.length);
  // A pool's results are folded, drawn once opened; a long list of files shows its largest first, and the
  // rest is one click away.
  const folded = await browser.Evaluate(() => Array.from(document.querySelectorAll("article details"), (d) => !d.open));
  await browser.Evaluate(() => document.querySelectorAll("article details").forEach((details) => { details.open = true; }));
  const boxes = chosen.reduce((sum, c) => sum + c.messages.length, 0);
  await browser.WaitFor((count) => document.querySelectorAll("article [data-kind]").length === count, 30000, boxes);
  await browser.Evaluate(() => document.querySelectorAll("button.rest").forEach((button) => button.click()));
  const files = chosen.reduce((sum, c) => sum + (c.json.files || []).length, 0);
  await browser.WaitFor((count) => document.querySelectorAll("[data-file]").length === count, 30000, files);
  Check(`${label}: each result's details folded in a pool of more than three maps`,
        folded.some((f) => f !== chosen.length > 3) ? `folded ${JSON.stringify(folded)}` : "");
  const { results, rows, overview, summary, progress } = await browser.Evaluate(Results);
  Check(`${label}: ${chosen.length} maps at once, a result each in the order given`,
        JSON.stringify(results.map((r) => r.map)) !== JSON.stringify(chosen.map((c) => c.map))
          ? `results: ${results.map((r) => r.map).join(", ")}` : "");
  for (const c of chosen) {
    const got = results.find((r) => r.map === c.map);
    const row = rows.find((r) => r.map === c.map);
    const reported = !c.json.error_code;
    const same = c.json.findings.find((f) => f.kind === "duplicate_uid");
    Check(`${label}: ${c.map}`, !got ? "no result" : !got.named ? "not named by its heading"
          : JSON.stringify(got.card) !== JSON.stringify(c.card)
            ? `card ${JSON.stringify(got.card)}, expected ${JSON.stringify(c.card)}`
          : (got.sameUid ?? null) !== (same ? `Same uid as an earlier map: ${same.map}` : null)
            ? `same uid: ${got.sameUid}`
          : JSON.stringify(got.boxes) !== Boxes(c) ? `boxes ${JSON.stringify(got.boxes)}, expected ${Boxes(c)}`
          : FilesProblem(got, c.json) || (reported ? !kLimitLine.test(got.limit) : got.limit != null)
            ? FilesProblem(got, c.json) || `limit line ${got.limit}`
          : got.parts.length === 2 && got.parts[0] !== "UL" ? "the findings below the table of files"
          : got.total != null && got.total !== PackedTotal(c.map)
            ? `packed in all ${got.total}, expected ${PackedTotal(c.map)}`
          : !row ? "no row in the overview" : RowProblem(row, c.json, c.card));
  }
  await CheckCards(browser, label, chosen);
  const attention = chosen.filter((c) => Attention(c.json)).map((c) => c.map);
  const order = [...attention, ...chosen.map((c) => c.map).filter((m) => !attention.includes(m))];
  Check(`${label}: the overview, the maps that need attention first`, !overview ? "not shown"
        : JSON.stringify(rows.map((r) => r.map)) !== JSON.stringify(order) ? `rows ${rows.map((r) => r.map)}` : "");
  const reports = chosen.filter((c) => c.messages.at(-1).kind === "information").length;
  const Count = (n, word) => `${n} ${word}${n === 1 ? "" : "s"}`;
  const expected = `${Count(chosen.length, "map")}: ${Count(reports, "report")}, ${Count(chosen.length - reports, "error")}`;
  Check(`${label}: one summary, no progress bar left`, summary !== expected ? `summary "${summary}", expected "${expected}"`
        : progress > 0 ? `${progress} progress bars` : "");
  await CheckDownloads(browser, label, chosen);
  await CheckOtherGame(browser, label, chosen);
  await CheckOverviewUse(browser, label, chosen);
}

// The card of a map with a thumbnail and a name in colours, and of a stranger's map whose strings are markup
// and live addresses, and whose thumbnail looks like a JPEG but does not decode.
const kCarded = "a_current_map_s_header.Map.Gbx";
const kHostile = "a_stranger_s_header__markup_and_live_addresses.Map.Gbx";
async function CheckCards(browser, label, chosen) {
  const carded = chosen.find((c) => c.map === kCarded), hostile = chosen.find((c) => c.map === kHostile);
  if (!carded || !hostile) return;
  // A thumbnail is decoded once drawn: the one that cannot be goes.
  await browser.WaitFor((carded, hostile) => {
    const image = document.querySelector(`[data-map="${carded}"] img[data-thumbnail]`);
    return image?.complete && image.naturalWidth > 0 && !document.querySelector(`[data-map="${hostile}"] img`);
  }, 30000, kCarded, kHostile);
  const got = await browser.Evaluate((carded) => {
    const image = document.querySelector(`[data-map="${carded}"] img[data-thumbnail]`);
    // The picture as stored, its top rows and its bottom rows: the page must turn it over.
    const canvas = document.createElement("canvas");
    canvas.width = image.naturalWidth;
    canvas.height = image.naturalHeight;
    const context = canvas.getContext("2d");
    context.drawImage(image, 0, 0);
    const Pixel = (y) => Array.from(context.getImageData(image.naturalWidth / 2, y, 1, 1).data.slice(0, 3));
    const Look = (text) => {
      const span = Array.from(document.querySelectorAll(`[data-map="${carded}"] [data-name-text] span`))
        .find((s) => s.textContent === text);
      if (!span) return null;
      const style = getComputedStyle(span);
      return [style.color, style.fontWeight, style.fontStyle, style.textShadow !== "none"];
    };
    return { width: image.naturalWidth, top: Pixel(2), bottom: Pixel(image.naturalHeight - 3),
             transform: getComputedStyle(image).transform, spm: Look("spm"), xmas: Look("Xmas"), snow: Look("Snow"),
             images: document.querySelectorAll("img:not([data-thumbnail])").length };
  }, kCarded);
  const Blue = (p) => p[2] > 150 && p[0] < 100, Red = (p) => p[0] > 150 && p[2] < 100;
  Check(`${label}: a map's thumbnail, stored bottom up, drawn upright; one that does not decode not shown`,
        got.width !== 16 ? `width ${got.width}` : !Blue(got.top) || !Red(got.bottom)
          ? `stored ${got.top} above ${got.bottom}, expected blue above red`
        : got.transform !== "matrix(1, 0, 0, -1, 0, 0)" ? `transform ${got.transform}, not turned over`
        : hostile.json.info.thumbnail_size === 0 ? "the stranger's thumbnail was not tried" : "");
  // $s$fff spm, $f01 Xmas, then after $z and a space $o$i$08f Snow.
  const looks = JSON.stringify({ spm: ["rgb(255, 255, 255)", "400", "normal", true],
                                 xmas: ["rgb(255, 0, 17)", "400", "normal", true],
                                 snow: ["rgb(0, 136, 255)", "700", "italic", false] });
  const drawn = JSON.stringify({ spm: got.spm, xmas: got.xmas, snow: got.snow });
  Check(`${label}: a map's name drawn in its colours and styles`, drawn !== looks ? `${drawn}, expected ${looks}` : "");
  // Nothing of the stranger's map is markup or live: the page's own two scripts, links only to its results.
  const live = await browser.Evaluate(() => ({
    scripts: document.querySelectorAll("script").length,
    bold: document.querySelectorAll("b").length,
    links: Array.from(document.querySelectorAll("a"), (a) => a.getAttribute("href"))
      .filter((href) => !/^#result-\d+$/.test(href)),
  }));
  Check(`${label}: a stranger's markup and addresses shown as text, none live`,
        got.images > 0 ? `${got.images} images not thumbnails` : live.scripts !== 2 ? `${live.scripts} scripts`
        : live.bold > 0 ? `${live.bold} <b>` : live.links.length > 0 ? `links ${live.links}`
        : !hostile.card.includes("Dependency: <script> (javascript:alert(3))") ? `--info ${hostile.card}` : "");
}

// Another game chosen after the run: each line's limit is the new game's, and the rest of the line stays the
// command's byte for byte, whatever its strings hold.
async function CheckOtherGame(browser, label, chosen) {
  const Choose = (game) => {
    const chooser = document.getElementById("game");
    chooser.value = game;
    chooser.dispatchEvent(new Event("change"));
  };
  await browser.Evaluate(Choose, "forever");
  const { jsonl } = await Downloads(browser);
  await browser.Evaluate(Choose, "tm2020");
  const lines = CommandLines(casesDir, chosen.map((c) => c.map), "forever").join("");
  Check(`${label}: JSON Lines with another game chosen after the run, the command's lines for it byte for byte`,
        jsonl !== lines ? Parting(jsonl, lines) : "");
}

// Dropped on the zone as a page's script can drop it: a File made of the sample's bytes, named like a formula,
// which the CSV keeps as text behind a ' while its numbers stay numbers.
async function CheckDrop(browser, label) {
  const name = "=dropped.Map.Gbx";
  await browser.Evaluate((bytes, name) => {
    const transfer = new DataTransfer();
    transfer.items.add(new File([new Uint8Array(bytes)], name));
    document.getElementById("drop").dispatchEvent(new DragEvent("drop", { dataTransfer: transfer, bubbles: true }));
  }, [...readFileSync(sample)], name);
  await browser.WaitFor((name) => document.querySelector(`[data-map="${name}"][data-done]`), 10000, name);
  const { results } = await browser.Evaluate(Results);
  const got = JSON.stringify(results.find((r) => r.map === name).boxes);
  Check(`${label}: a map dropped on the zone`, got !== Boxes(sampleCase) ? `boxes ${got}` : "");
  const row = (await Downloads(browser)).csv.split("\r\n").map(CsvFields).find((fields) => fields[0].endsWith(name));
  const expected = CsvRow(`'${name}`, sampleCase.json);
  Check(`${label}: a name like a formula kept as text in the CSV, its numbers plain`,
        JSON.stringify(row?.slice(0, 10)) !== JSON.stringify(expected) ? `row ${JSON.stringify(row)}` : "");
}

// A map that takes a while, stopped by keyboard while its embedded files are inflated: it says so, its
// worker goes, and the map after it runs.
async function CheckStop(browser, label) {
  await browser.Open(pageUrl);
  await browser.Choose([join(casesDir, "slow.Map.Gbx"), sample]);
  await browser.WaitFor(() => {
    const bar = document.querySelector('[data-map="slow.Map.Gbx"] progress');
    return bar && bar.getAttribute("aria-label").startsWith("Checking the embedded files") && bar.value > 0;
  }, 60000);
  await browser.Evaluate(() => document.querySelector('[data-map="slow.Map.Gbx"] [data-stop]').focus());
  await browser.Press("Enter");
  await browser.WaitFor(Done, 30000, 2);
  const { results, rows, counts, summary } = await browser.Evaluate(Results);
  const row = rows.find((r) => r.map === "slow.Map.Gbx");
  Check(`${label}: a slow map stopped while its files are inflated, the next map run`,
        !/^Stopped/.test(results[0].gist) || row.error !== "stopped" ? `slow map: ${results[0].gist}, ${row.error}`
        : JSON.stringify(results[1].boxes) !== Boxes(sampleCase) ? `next map: ${JSON.stringify(results[1].boxes)}` : "");
  // Stopped after its report, it keeps the report's items, embedded size and its file's size, never 0 items
  // and 0 bytes. The screen reader's line and the overview's count it alike.
  const slow = SlowJson();
  const kept = { map: "slow.Map.Gbx", fileSize: String(slow.file_size), items: String(slow.items.length),
                 embeddedSize: String(slow.embedded_size), error: "stopped" };
  const Fields = (o) => JSON.stringify(Object.keys(kept).map((key) => o[key] ?? null));
  const csv = (await Downloads(browser)).csv.split("\r\n").map(CsvFields)
    .find((fields) => fields[0] === "slow.Map.Gbx");
  // It is large enough to be let inflate its GiB, which takes it over the game's limit.
  const csvKept = ["slow.Map.Gbx", String(slow.items.length), String(slow.embedded_size), String(slow.file_size),
                   "tm2020", "7336960", "true", String(slow.file_size - 7336960), "", "stopped"];
  Check(`${label}: a map stopped after its report keeps its numbers, in the overview, the CSV and the counts`,
        Fields(row) !== Fields(kept) ? `row ${Fields(row)}, expected ${Fields(kept)}`
        : JSON.stringify(csv?.slice(0, 10)) !== JSON.stringify(csvKept) ? `CSV ${JSON.stringify(csv)}`
        : summary !== "2 maps: 1 report, 0 errors, 1 stopped" ? `summary "${summary}"`
        : counts !== "2 of 2 maps done: 1 over the limit, 0 with findings, 0 errors, 1 stopped."
          ? `counts "${counts}"` : "");
}

let slowJson = null;
function SlowJson() {
  slowJson ??= JSON.parse(CommandLines(casesDir, ["slow.Map.Gbx"])[0]);
  return slowJson;
}

// Stop all while maps run and wait: every map left ends, each said stopped, and Stop all goes, leaving its
// focus to Clear. Clear empties the page, also while a map runs; the same maps chosen again after it are each
// there once, in the page and in the downloads.
async function CheckStopAllAndClear(browser, label) {
  const dir = mkdtempSync(join(tmpdir(), "tallyglass-slow-"));
  try {
    // More than the page's most workers, so that some wait.
    const slow = [1, 2, 3, 4, 5].map((n) => join(dir, `slow-${n}.Map.Gbx`));
    slow.forEach((path) => copyFileSync(join(casesDir, "slow.Map.Gbx"), path));
    await browser.Open(pageUrl);
    await browser.Choose(slow);
    await browser.WaitFor(() => document.querySelector('[data-map="slow-1.Map.Gbx"] progress'), 60000);
    const shown = await browser.Evaluate(() => !document.querySelector("[data-stop-all]").hidden);
    await browser.Evaluate(() => document.querySelector("[data-stop-all]").focus());
    await browser.Press("Enter");
    await browser.WaitFor(Done, 30000, slow.length);
    const stopped = await browser.Evaluate(Results);
    const after = await browser.Evaluate(() => ({ shown: !document.querySelector("[data-stop-all]").hidden,
                                                  focus: "clear" in document.activeElement.dataset }));
    const { jsonl } = await Downloads(browser);
    Check(`${label}: Stop all ends every map left, running or waiting, each said stopped`,
          !shown ? "no Stop all while maps ran" : after.shown ? "Stop all still shown"
          : !after.focus ? "focus not on Clear"
          : stopped.results.some((r) => !/^Stopped/.test(r.gist)) || stopped.rows.some((r) => r.error !== "stopped")
            ? `results ${JSON.stringify(stopped.results.map((r) => r.gist))}`
          : stopped.summary !== `${slow.length} maps: 0 reports, 0 errors, ${slow.length} stopped`
            ? `summary "${stopped.summary}"` : stopped.progress > 0 ? `${stopped.progress} progress bars`
          : jsonl !== "" ? `JSON Lines ${jsonl.slice(0, 200)}` : "");

    const Empty = () => ({
      results: document.querySelectorAll("article").length,
      shown: ["overview", "downloads", "controls"].filter((id) => !document.getElementById(id).hidden),
      summary: document.getElementById("summary").textContent,
      focus: document.activeElement.id,
    });
    await browser.Press("Enter");
    const cleared = await browser.Evaluate(Empty);
    await browser.Choose([slow[0], sample]);
    await browser.WaitFor(() => document.querySelector('[data-map="slow-1.Map.Gbx"] progress'), 60000);
    await browser.Evaluate(() => document.querySelector("[data-clear]").click());
    const clearedRunning = await browser.Evaluate(Empty);
    const expected = { results: 0, shown: [], summary: "", focus: "maps" };
    const Fields = (o) => JSON.stringify(Object.keys(expected).map((key) => o[key]));
    Check(`${label}: Clear empties the page, also while a map runs`,
          Fields(cleared) !== Fields(expected) ? `after Stop all: ${Fields(cleared)}`
          : Fields(clearedRunning) !== Fields(expected) ? `while a map ran: ${Fields(clearedRunning)}` : "");

    // The same map under two names, the later of the two chosen first: the finding goes to the one after.
    const chosen = InOneRun([sampleCase, cases.find((c) => Kinds(c.json).length > 0 && c.json.files?.length > 0),
                             ...[kHostile, "the_same_map_under_another_name.Map.Gbx", kCarded]
                               .map((map) => cases.find((c) => c.map === map))]);
    for (const time of [1, 2]) {
      await browser.Choose(chosen.map((c) => join(casesDir, c.map)));
      await browser.WaitFor(Done, 30000, chosen.length);
      if (time === 1) await browser.Evaluate(() => document.querySelector("[data-clear]").click());
    }
    // Opened, the folded details are drawn (WebKit after the event loop's turn), their finding with them.
    await browser.Evaluate(() => document.querySelectorAll("article details").forEach((d) => { d.open = true; }));
    await browser.WaitFor((count) => document.querySelectorAll("article [data-kind]").length === count, 30000,
                          chosen.reduce((sum, c) => sum + c.messages.length, 0));
    const again = await browser.Evaluate(Results);
    Check(`${label}: the same maps chosen again after Clear, each once`,
          JSON.stringify(again.results.map((r) => r.map)) !== JSON.stringify(chosen.map((c) => c.map))
            ? `results ${again.results.map((r) => r.map)}`
          : again.rows.length !== chosen.length ? `${again.rows.length} rows`
          : again.results.at(-1).sameUid !== "Same uid as an earlier map: the_same_map_under_another_name.Map.Gbx"
            ? `same uid: ${again.results.at(-1).sameUid}` : "");
    await CheckDownloads(browser, `${label}, chosen again after Clear`, chosen);
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
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
    await CheckPool(browser, label, chosen);
    await CheckDrop(browser, label);
    const markup = await browser.Evaluate(() =>
      document.querySelectorAll("#results img:not([data-thumbnail]), #results script, [data-overview] img").length);
    Check(`${label}: map text drawn as characters`, markup > 0 ? `${markup} elements from map text` : "");
    await CheckStop(browser, label);
    await CheckStopAllAndClear(browser, label);
    const errors = await browser.Errors();
    Check(`${label}: no error in the page or its worker`, errors.length > 0 ? errors.join("; ") : "");
    if (engine === "chromium") await CheckChromiumOnly(browser);
  } finally {
    await browser.Close();
  }
}

// A folder tree: maps in it and in a subfolder, and a file that is not a map.
function FolderTree() {
  const root = mkdtempSync(join(tmpdir(), "tallyglass-page-"));
  const folder = join(root, "Pool");
  mkdirSync(join(folder, "Sub", "Deeper"), { recursive: true });
  copyFileSync(sample, join(folder, "A.Map.Gbx"));
  const finding = cases.find((c) => Kinds(c.json).length > 0);
  copyFileSync(join(casesDir, finding.map), join(folder, "Sub", "B.Map.Gbx"));
  copyFileSync(join(casesDir, cases.find((c) => c.json.error_code === "invalid_format").map),
               join(folder, "Sub", "Deeper", "C.map.gbx"));
  writeFileSync(join(folder, "Sub", "notes.txt"), "not a map");
  return { root, folder, maps: ["A.Map.Gbx", "Sub/B.Map.Gbx", "Sub/Deeper/C.map.gbx"] };
}

// A real drop of a folder tree and a map, which only Chromium's DevTools protocol can make; a folder and maps
// chosen by keyboard; the page's policy; the requests; the limit's chooser; and the same page from a web server.
async function CheckChromiumOnly(browser) {
  const tree = FolderTree();
  try {
    await browser.Open(pageUrl);
    const cdp = await browser.Cdp();
    const at = await browser.Evaluate(() => {
      const zone = document.getElementById("drop").getBoundingClientRect();
      return { x: zone.x + zone.width / 2, y: zone.y + zone.height / 2 };
    });
    const data = { items: [], files: [sample, tree.folder], dragOperationsMask: 1 };
    for (const type of ["dragEnter", "dragOver", "drop"]) await cdp.send("Input.dispatchDragEvent", { type, ...at, data });
    await browser.WaitFor(Done, 20000, 4);
    const expected = [{ map: basename(sample), line: CommandLines(resolve(sample, ".."), [basename(sample)])[0] },
                      ...CommandLines(tree.folder, tree.maps).map((line, i) => ({ map: tree.maps[i], line }))];
    const dropped = await browser.Evaluate(Results);
    const note = await browser.Evaluate(() => document.getElementById("folder-note").textContent);
    Check("chromium: a folder tree and a map dropped for real, each .Gbx file a map named by its path",
          JSON.stringify(dropped.results.map((r) => r.map)) !== JSON.stringify(expected.map((e) => e.map))
            ? `results ${dropped.results.map((r) => r.map)}` : note !== "1 file in the folder is not a .Gbx file: not read."
            ? `note ${note}` : expected.map((e) => RowProblem(dropped.rows.find((r) => r.map === e.map), JSON.parse(e.line)))
              .find((problem) => problem) || "");
    await CheckDownloads(browser, "chromium, a folder dropped", expected.map((e) => ({ ...e, json: JSON.parse(e.line) })));

    await browser.Open(pageUrl);
    await browser.ChooseByKeyboard("#folder", [tree.folder]);
    await browser.WaitFor(Done, 20000, 3);
    await browser.ChooseByKeyboard("#maps", [sample]);
    await browser.WaitFor(Done, 20000, 4);
    const chosen = (await browser.Evaluate(Results)).results.map((r) => r.map);
    Check("chromium: a folder and a map chosen by keyboard", JSON.stringify(chosen) !==
          JSON.stringify([...tree.maps, basename(sample)]) ? `results ${chosen}` : "");

    // Another game's limit applies to every result and every line at once, and is kept for the page's next
    // opening.
    const forever = await browser.Evaluate(() => {
      const chooser = document.getElementById("game");
      chooser.value = "forever";
      chooser.dispatchEvent(new Event("change"));
      return Array.from(document.querySelectorAll(".limit"),
                        (line) => / that TrackMania Forever takes\. /.test(line.textContent));
    });
    const lines = [...CommandLines(tree.folder, tree.maps, "forever"),
                   ...CommandLines(resolve(sample, ".."), [basename(sample)], "forever")].join("");
    const { jsonl } = await Downloads(browser);
    await browser.Open(pageUrl);
    const kept = await browser.Evaluate(() => document.getElementById("game").value);
    Check("chromium: the chosen game's limit, on every result and line, and kept", forever.includes(false) ||
          forever.length === 0 ? `lines ${JSON.stringify(forever)}` : jsonl !== lines ? `downloaded ${jsonl}`
          : kept !== "forever" ? `kept ${kept}` : "");
    await browser.Evaluate(() => localStorage.removeItem("tallyglass.game"));
  } finally {
    rmSync(tree.root, { recursive: true, force: true });
  }

  // The policy refuses even a data: URL, which would need no network.
  const refused = await browser.Evaluate(() => new Promise((done) => {
    document.addEventListener("securitypolicyviolation", (event) => done(event.effectiveDirective), { once: true });
    fetch("data:,x").then(() => done("answered"), () => {});
  }));
  Check("chromium: the page's policy refuses requests", refused === "connect-src" ? "" : `fetch: ${refused}`);
  const sent = (await browser.Requests()).filter((url) => url !== pageUrl && !url.startsWith("blob:"));
  Check("chromium: no request left the page", sent.length > 0 ? `requests: ${sent.join(", ")}` : "");

  const server = createServer((request, response) => response.end(readFileSync(page))).listen(0, "127.0.0.1");
  await new Promise((done) => server.once("listening", done));
  try {
    await browser.Open(`http://127.0.0.1:${server.address().port}/tallyglass.html`);
    await CheckPool(browser, "chromium, over http", [sampleCase, cases.find((c) => c.map.startsWith("archive__"))]);
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

const only = process.env.TALLYGLASS_ENGINES ? process.env.TALLYGLASS_ENGINES.split(",") : kEngines;
for (const engine of only) {
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
