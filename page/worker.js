// The page's worker, put ahead of the script emscripten writes (its --pre-js). It first hears {compiled}: the
// module as another worker compiled it, or null, when it compiles the module itself. Once the module runs it
// posts {ready, compiled}; where the browser cannot run it (no WebAssembly, or one it may not compile),
// {unavailable: why}.
// The page then posts one map at a time, {id, name, size, readable, bytes, limit: [name, bytes]}, with the
// whole file as `bytes` when it is small (else null). The worker runs it through the logic, asking the page
// for the bytes it reads of a larger one ({id, read: [position, length]}, answered by {bytes}: an
// ArrayBuffer, or null when the page could not read them), posts each box as it is shown ({id, box}), how far
// the embedded files are read ({id, progress: [done, total]}), after a report the embedded files ({id, files}),
// then {id, done, heap, line, run, card}: the map's JSON line, what the run came to, and of its card what the line
// does not give: its name and author's nickname as styled runs, where its thumbnail lies in the file, its uid's
// bytes.
// tallyglassWasm, the module deflated (raw) as base64, is put ahead of this script by make_page.mjs.

var tallyglassJob = null;
var tallyglassReady = false;
var tallyglassReply = null;
var tallyglassUtf16 = new TextDecoder("utf-16le");
var tallyglassUtf8 = new TextDecoder("utf-8");
var tallyglassLine = [];
var tallyglassGive = null;
var tallyglassGiven = new Promise(function (give) { tallyglassGive = give; });
var tallyglassModule = null;
var tallyglassCompiledHere = false;
// Progress goes to the page no sooner than this (performance.now()): the page shows it only for a map that
// runs long, and a message for every step would cost a pool more than its maps.
var tallyglassProgressAt = 0;

// The module is inflated as the browser inflates a download, then compiled; where either fails, the page
// cannot run here. Written into the stream, not read from a Blob, which WebKit's worker may not read from disk.
function CompileModule(imports) {
  var inflate = new DecompressionStream("deflate-raw"), writer = inflate.writable.getWriter();
  writer.write(Uint8Array.from(atob(tallyglassWasm), function (c) { return c.charCodeAt(0); }));
  writer.close();
  return new Response(inflate.readable).arrayBuffer().then(function (bytes) {
    return WebAssembly.instantiate(bytes, imports);
  });
}

Module["instantiateWasm"] = function (imports, receive) {
  tallyglassGiven.then(function (compiled) {
    tallyglassCompiledHere = !compiled;
    if (!compiled) return CompileModule(imports);
    return WebAssembly.instantiate(compiled, imports).then(function (instance) {
      return { instance: instance, module: compiled };
    });
  }).then(function (made) {
    tallyglassModule = made.module;
    receive(made.instance, made.module);
  }, function (error) {
    postMessage({ unavailable: String(error) });
  });
  return {};
};
Module["onAbort"] = function (what) {
  if (!tallyglassReady) postMessage({ unavailable: String(what) });
};
Module["onRuntimeInitialized"] = function () {
  tallyglassReady = true;
  if (tallyglassCompiledHere) ccall("TallyglassWarmUp", null, [], []);
  try {
    postMessage({ ready: true, compiled: tallyglassModule });
  } catch (e) {
    postMessage({ ready: true, compiled: null });  // a browser that cannot send a module
  }
};

// A zero-terminated text unit for unit; a counted one, as long lists come, decoded at once (it holds no lone
// surrogate: its names were decoded from UTF-8).
Module["text"] = function (at) {
  var text = "";
  for (var i = at >>> 1; HEAPU16[i] !== 0; ++i) text += String.fromCharCode(HEAPU16[i]);
  return text;
};
Module["units"] = function (at, count) {
  return tallyglassUtf16.decode(HEAPU16.subarray(at >>> 1, (at >>> 1) + count));
};
// kind "more": more text for the last box.
Module["showBox"] = function (kind, text) {
  postMessage({ id: tallyglassJob.id, box: { kind: kind, text: text, run: Module["ran"] } });
};
Module["showFiles"] = function (files) {
  files.findings = Module["findings"];
  postMessage({ id: tallyglassJob.id, files: files }, [files.lengths.buffer, files.sizes.buffer]);
};
Module["showProgress"] = function (done, total) {
  var now = performance.now();
  if (now < tallyglassProgressAt) return;
  tallyglassProgressAt = now + 50;
  postMessage({ id: tallyglassJob.id, progress: [done, total] });
};
Module["addLine"] = function (bytes) { tallyglassLine.push(tallyglassUtf8.decode(bytes)); };
Module["mapFile"] = function () { return tallyglassJob; };
Module["readMap"] = function (position, length) {
  return new Promise(function (resolve) {
    tallyglassReply = resolve;
    postMessage({ id: tallyglassJob.id, read: [position, length] });
  });
};

onmessage = function (event) {
  if ("compiled" in event.data) {
    tallyglassGive(event.data.compiled);
    return;
  }
  if ("bytes" in event.data && !("id" in event.data)) {
    tallyglassReply(event.data.bytes);
    return;
  }
  var job = tallyglassJob = event.data;
  Module["findings"] = [];
  Module["card"] = null;
  tallyglassLine = [];
  tallyglassProgressAt = performance.now() + 200;
  ccall("TallyglassRun", null, ["string", "string", "number"], [job.name, job.limit[0], job.limit[1]],
        { async: true }).then(function () {
    tallyglassJob = null;
    postMessage({ id: job.id, done: true, heap: HEAPU8.length, line: tallyglassLine.join(""), run: Module["ran"],
                  card: Module["card"] });
  }, function (error) {
    // The run itself fails only when the browser refuses it memory: thrown outside the promise, the error
    // reaches the page as the worker's own.
    setTimeout(function () { throw error; });
  });
};
