// Builds the page, one self-contained file: the worker's script (the module as base64 ahead of the script
// emscripten wrote) in a script element that does not run, and a Content-Security-Policy under which the page
// runs only its own inline script and style, its worker and WebAssembly, and fetches nothing.
// Usage: node make_page.mjs PAGE_TEMPLATE WORKER_JS WASM VERSION OUT_HTML
import { createHash } from "node:crypto";
import { readFileSync, writeFileSync } from "node:fs";

const [template, workerScript, wasm, version, out] = process.argv.slice(2);
const wasmBase64 = readFileSync(wasm).toString("base64");
const worker = `var tallyglassWasm = "${wasmBase64}";\n${readFileSync(workerScript, "utf8")}`;
if (/<\/script/i.test(worker)) {
  console.error("make_page: the worker's script would end its element early");
  process.exit(1);
}
let page = readFileSync(template, "utf8").replace("@VERSION@", version).replace("@WORKER@", () => worker);

const hash = (text) => `'sha256-${createHash("sha256").update(text, "utf8").digest("base64")}'`;
const inline = (tag) => [...page.matchAll(new RegExp(`<${tag}>([\\s\\S]*?)</${tag}>`, "g"))].map((m) => hash(m[1]));
const policy = [
  "default-src 'none'",
  `script-src ${inline("script").join(" ")} 'wasm-unsafe-eval'`,
  `style-src ${inline("style").join(" ")}`,
  "worker-src blob:",
  "base-uri 'none'",
  "form-action 'none'",
].join("; ");
page = page.replace("@CSP@", () => policy);
writeFileSync(out, page);
