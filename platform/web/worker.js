// The page's worker, put ahead of the script emscripten writes (its --pre-js). The page posts one map at a time,
// {id, file, folder}; the worker mounts the dropped File in the in-memory file system, where WORKERFS reads it
// in place, slice by slice, runs it through the logic and posts each box as it is shown, then {id, done, heap}.
// tallyglassWasm, the module as base64, is put ahead of this script by make_page.mjs.
Module["wasmBinary"] = Uint8Array.from(atob(tallyglassWasm), function (c) { return c.charCodeAt(0); });

var tallyglassJob = null;
var tallyglassWaiting = [];

// kind "more": more text for the last box.
Module["showBox"] = function (kind, text) {
  postMessage({ id: tallyglassJob.id, box: { kind: kind, text: text } });
};

// A read that fails (the file changed or went away since it was chosen) is an I/O error to the logic, which
// then says so, rather than an exception through its run. Slices bound the copy a read makes in passing.
function TallyglassRead(stream, buffer, offset, length, position) {
  var slice = 64 << 20;
  var end = Math.min(position + length, stream.node.size);
  try {
    for (var at = position; at < end; at += slice) {
      var part = TallyglassRead.reader.readAsArrayBuffer(stream.node.contents.slice(at, Math.min(at + slice, end)));
      buffer.set(new Uint8Array(part), offset + (at - position));
    }
  } catch (e) {
    throw new FS.ErrnoError(29);  // EIO
  }
  return Math.max(end - position, 0);
}

// What the logic cannot open stands in its path as a folder, which it refuses as it refuses one on Windows:
// a dropped folder, or a file the browser will not read.
function TallyglassReadable(file) {
  try {
    TallyglassRead.reader.readAsArrayBuffer(file.slice(0, 1));
    return true;
  } catch (e) {
    return false;
  }
}

function TallyglassRun(job) {
  tallyglassJob = job;
  var dir = "/maps/" + job.id;
  var path = dir + "/Map.Gbx";
  FS.mkdir(dir);
  var mounted = !job.folder && job.file !== null && TallyglassReadable(job.file);
  if (mounted) {
    FS.mount(WORKERFS, { blobs: [{ name: "Map.Gbx", data: job.file }] }, dir);
  } else {
    FS.mkdir(path);
  }
  ccall("TallyglassRun", null, ["string"], [path]);
  if (mounted) {
    FS.unmount(dir);
  } else {
    FS.rmdir(path);
  }
  FS.rmdir(dir);
  postMessage({ id: job.id, done: true, heap: HEAPU8.length });
}

Module["onRuntimeInitialized"] = function () {
  TallyglassRead.reader = new FileReaderSync();
  WORKERFS.stream_ops.read = TallyglassRead;
  FS.mkdir("/maps");
  tallyglassWaiting.forEach(TallyglassRun);
  tallyglassWaiting = null;
};

onmessage = function (event) {
  if (tallyglassWaiting) {
    tallyglassWaiting.push(event.data);
  } else {
    TallyglassRun(event.data);
  }
};
