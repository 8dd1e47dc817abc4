// The page's worker, put ahead of the script emscripten writes (its --pre-js). Once the module runs it posts
// {ready}; where the browser cannot run it (no WebAssembly, or one it may not compile), {unavailable: why}.
// The page then posts one map at a time, {id, name, size, readable}; the worker runs it through the logic,
// asking the page for the bytes it reads ({id, read: [position, length]}, answered by {bytes}: an ArrayBuffer,
// or null when the page could not read them), posts each box as it is shown, and after a report the embedded
// files ({id, files: {entries, findings, packedText}}), then {id, done, heap}.
// tallyglassWasm, the module as base64, is put ahead of this script by make_page.mjs.
Module["wasmBinary"] = Uint8Array.from(atob(tallyglassWasm), function (c) { return c.charCodeAt(0); });

var tallyglassJob = null;
var tallyglassReady = false;
var tallyglassReply = null;

Module["onAbort"] = function (what) {
  if (!tallyglassReady) postMessage({ unavailable: String(what) });
};
Module["onRuntimeInitialized"] = function () {
  tallyglassReady = true;
  postMessage({ ready: true });
};

Module["text"] = function (at) {
  var text = "";
  for (var i = at >> 1; HEAPU16[i] !== 0; ++i) text += String.fromCharCode(HEAPU16[i]);
  return text;
};
// kind "more": more text for the last box.
Module["showBox"] = function (kind, text) {
  postMessage({ id: tallyglassJob.id, box: { kind: kind, text: text } });
};
// The embedded files gather in Module["files"] and go to the page at once.
Module["showFiles"] = function () {
  postMessage({ id: tallyglassJob.id, files: Module["files"] });
};
Module["mapFile"] = function () { return tallyglassJob; };
Module["readMap"] = function (position, length) {
  return new Promise(function (resolve) {
    tallyglassReply = resolve;
    postMessage({ id: tallyglassJob.id, read: [position, length] });
  });
};

onmessage = function (event) {
  if ("bytes" in event.data) {
    tallyglassReply(event.data.bytes);
    return;
  }
  var job = tallyglassJob = event.data;
  Module["files"] = { entries: [], findings: [] };
  ccall("TallyglassRun", null, ["string"], [job.name], { async: true }).then(function () {
    postMessage({ id: job.id, done: true, heap: HEAPU8.length });
  }, function (error) {
    // The run itself fails only when the browser refuses it memory: thrown outside the promise, the error
    // reaches the page as the worker's own.
    setTimeout(function () { throw error; });
  });
};
