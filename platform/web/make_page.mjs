// Builds the page, one self-contained file: the worker's script (the module as base64 ahead of the script
// emscripten wrote) in a script element that does not run, and a Content-Security-Policy under which the page
// runs only its own inline script and style, its worker and WebAssembly, and fetches nothing.
// The footer carries the notices of the libraries the page contains, with their source packages' versions.
// Usage: node make_page.mjs PAGE_TEMPLATE WORKER_JS WASM VERSION OUT_HTML LZO_VERSION LIBZIP_VERSION
//        LIBZIP_LICENSE ZLIB_VERSION ZLIB_LICENSE
import { createHash } from "node:crypto";
import { readFileSync, writeFileSync } from "node:fs";

const [template, workerScript, wasm, version, out, lzoVersion, libzipVersion, libzipLicense, zlibVersion,
       zlibLicense] = process.argv.slice(2);
const escape = (text) => text.replaceAll("&", "&amp;").replaceAll("<", "&lt;").replaceAll(">", "&gt;").trim();
const wasmBase64 = readFileSync(wasm).toString("base64");
const worker = `var tallyglassWasm = "${wasmBase64}";\n${readFileSync(workerScript, "utf8")}`;
if (/<\/script/i.test(worker)) {
  console.error("make_page: the worker's script would end its element early");
  process.exit(1);
}
let page = readFileSync(template, "utf8").replace("@VERSION@", version).replace("@WORKER@", () => worker)
  .replace("@LZO_VERSION@", lzoVersion).replace("@LIBZIP_VERSION@", libzipVersion)
  .replace("@LIBZIP_NOTICE@", () => escape(readFileSync(libzipLicense, "utf8")))
  .replace("@ZLIB_VERSION@", zlibVersion).replace("@ZLIB_NOTICE@", () => escape(readFileSync(zlibLicense, "utf8")));

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
