// Builds the page, one self-contained file: its style (style.css) and its script (the files of kScripts, one
// concern each, joined in one function) inline, the worker's script (the module deflated, as base64, ahead of
// the script emscripten wrote) in a script element that does not run, and a Content-Security-Policy under which the page
// runs only its own inline script and style, its workers and WebAssembly, and fetches nothing but the maps'
// thumbnails, which the page cuts from the chosen files as blobs.
// The footer carries the notices of the libraries the page contains, with their source packages' versions.
// Usage: node make_page.mjs PAGE_TEMPLATE WORKER_JS WASM VERSION OUT_HTML LZO_VERSION LIBZIP_VERSION
//        LIBZIP_LICENSE ZLIB_VERSION ZLIB_LICENSE PUGIXML_VERSION PUGIXML_LICENSE
import { createHash } from "node:crypto";
import { readFileSync, writeFileSync } from "node:fs";
import { dirname, join } from "node:path";
import { deflateRawSync } from "node:zlib";

// In this order: each file's top-level statements may use what the files before it define.
const kScripts = ["result.js", "overview.js", "downloads.js", "queue.js", "page.js"];

const [template, workerScript, wasm, version, out, lzoVersion, libzipVersion, libzipLicense, zlibVersion,
       zlibLicense, pugixmlVersion, pugixmlLicense] = process.argv.slice(2);
const here = dirname(template);
const escape = (text) => text.replaceAll("&", "&amp;").replaceAll("<", "&lt;").replaceAll(">", "&gt;").trim();
// The module deflated, which the worker inflates with the browser's own DecompressionStream: less than half
// the bytes.
const wasmBase64 = deflateRawSync(readFileSync(wasm), { level: 9 }).toString("base64");
const worker = `var tallyglassWasm = "${wasmBase64}";\n${readFileSync(workerScript, "utf8")}`;
// The page carries its script and style without their comment lines (// and one-line /* */) and indentation,
// which the sources keep: none of their strings spans lines.
const Comment = (line) => line.startsWith("//") || (line.startsWith("/*") && line.endsWith("*/"));
const Lean = (text) => text.split("\n").map((line) => line.trim()).filter((line) => line !== "" && !Comment(line))
  .join("\n");
const scripts = kScripts.map((name) => readFileSync(join(here, name), "utf8")).join("\n");
const script = `"use strict";\n(function () {\n${Lean(scripts)}\n})();\n`;
const style = Lean(readFileSync(join(here, "style.css"), "utf8")) + "\n";
for (const [what, text, end] of [["worker's script", worker, /<\/script/i], ["script", script, /<\/script/i],
                                  ["style", style, /<\/style/i]]) {
  if (end.test(text)) {
    console.error(`make_page: the ${what} would end its element early`);
    process.exit(1);
  }
}
let page = readFileSync(template, "utf8").replace("@VERSION@", version).replace("@WORKER@", () => worker)
  .replace("@STYLE@", () => style).replace("@SCRIPT@", () => script)
  .replace("@LZO_VERSION@", lzoVersion).replace("@LIBZIP_VERSION@", libzipVersion)
  .replace("@LIBZIP_NOTICE@", () => escape(readFileSync(libzipLicense, "utf8")))
  .replace("@ZLIB_VERSION@", zlibVersion).replace("@ZLIB_NOTICE@", () => escape(readFileSync(zlibLicense, "utf8")))
  .replace("@PUGIXML_VERSION@", pugixmlVersion)
  .replace("@PUGIXML_NOTICE@", () => escape(readFileSync(pugixmlLicense, "utf8")));

const hash = (text) => `'sha256-${createHash("sha256").update(text, "utf8").digest("base64")}'`;
const inline = (tag) => [...page.matchAll(new RegExp(`<${tag}>([\\s\\S]*?)</${tag}>`, "g"))].map((m) => hash(m[1]));
const policy = [
  "default-src 'none'",
  `script-src ${inline("script").join(" ")} 'wasm-unsafe-eval'`,
  `style-src ${inline("style").join(" ")}`,
  "worker-src blob:",
  "img-src blob:",
  "base-uri 'none'",
  "form-action 'none'",
].join("; ");
page = page.replace("@CSP@", () => policy);
// The page is meant to stay small enough to mail and to keep anywhere.
const kMostBytes = 240000;
const bytes = Buffer.byteLength(page);
if (bytes > kMostBytes) {
  console.error(`make_page: the page would be ${bytes} bytes, more than ${kMostBytes}`);
  process.exit(1);
}
writeFileSync(out, page);
console.log(`make_page: ${out}: ${bytes.toLocaleString("en-US")} bytes`);
