// The queue and its workers: maps run in several workers at once, as many as the device has cores up to a
// handful, each result in its place in the order chosen. A worker goes on to the next map while its memory
// stays small (WebAssembly never gives memory back); one that a big map made grow is ended and replaced, and
// so is one whose map is stopped.
var workerUrl = URL.createObjectURL(new Blob([document.getElementById("worker").textContent],
                                             { type: "text/javascript" }));
var notice = document.getElementById("notice");
var summary = document.getElementById("summary");
// A worker a core on a device of up to two; on a larger one two cores are left to the page and the browser,
// which read the files and draw the results, with at least two workers and at most a handful. Workers beyond
// the cores slow every map down, and WebKit says 4 on a machine of 2.
var cores = navigator.hardwareConcurrency || 2;
var kWorkers = cores <= 2 ? Math.max(1, cores) : Math.max(2, Math.min(cores - 2, 4));
// Past this the worker's memory goes with the worker.
var keptHeap = 64 << 20;
// A file up to this size goes to the worker whole with its map; a larger one is read as the worker asks.
var kWholeFile = 16 << 20;
// A map whose run takes longer than this shows its progress and its stop button.
var progressAfterMs = 250;
var unavailableText = "Tallyglass cannot run in this browser: it does not let the page run WebAssembly. " +
  "A setting causes this (Lockdown Mode in Safari, a policy, or a switch that turns off JavaScript's " +
  "optimizer); where the setting allows it, the page works.";
var jobs = [];
var jobsLeft = 0;  // not done yet, of all the jobs
var nextId = 0;    // never used again after Clear, so that nothing late from a cleared map finds a new one
var queue = [];
var slots = [];
var unavailable = false;
// The module as the first worker to be ready compiled it (null where it could not be sent): each worker after
// it starts from it, rather than compiling its own, which costs WebKit each time, on the cores the maps need.
// Until then no other worker starts.
var compiled = undefined;

// Once every map of a choice or a drop is done, one polite line says how they fared; a map stopped is counted
// as stopped, as in the overview's counts.
function Summarize(batch) {
  var maps = batch.jobs.length, stopped = batch.jobs.filter(function (job) { return job.stopped; }).length;
  var reports = batch.jobs.filter(function (job) { return job.reported && !job.stopped; }).length;
  var errors = maps - reports - stopped;
  summary.textContent = maps + (maps === 1 ? " map: " : " maps: ") + reports + (reports === 1 ? " report, " :
    " reports, ") + errors + (errors === 1 ? " error" : " errors") + (stopped > 0 ? ", " + stopped + " stopped" : "");
}

// How a pool's maps stand is drawn a few times a second while it runs, and at once when the last is done: a
// page that changes in sight for every map is laid out and painted for every map, which held WebKit longer
// than the maps took.
var kDrawEveryMs = 250;
var drawing = 0;
var toDraw = [];
function DrawSoon(job) {
  toDraw.push(job);
  if (jobsLeft === 0) return DrawNow();
  if (!drawing) drawing = setTimeout(DrawNow, kDrawEveryMs);
}

function DrawNow() {
  clearTimeout(drawing);
  drawing = 0;
  var changed = toDraw;
  toDraw = [];
  changed.forEach(function (job) { if (job.done && !("done" in job.result.dataset)) FinishResult(job); });
  FindSameUids(changed);
  FillRows(changed);
}

// Each map whose uid an earlier map of the pool holds, the first of them, as the command finds them in one run
// over the maps in the order chosen. A map counts once its line is in (a stopped map has none); one done before
// a map ahead of it with its uid gets the finding when that map is done.
function FindSameUids(changed) {
  var first = new Map();
  jobs.forEach(function (job) {
    if (!job.line || !job.card || job.card.uid === null) return;
    var earlier = first.get(job.card.uid);
    if (!earlier) return first.set(job.card.uid, job);
    if (job.sameUid === earlier) return;
    job.sameUid = earlier;
    ShowSameUid(job);
    changed.push(job);
  });
}

function Finish(job) {
  clearTimeout(job.timer);
  job.state = "done";
  job.done = true;
  --jobsLeft;
  if (job.slot && job.slot.job === job) job.slot.job = null;
  job.slot = null;
  DrawSoon(job);
  downloads.hidden = false;
  if (--job.batch.left === 0) Summarize(job.batch);
  if (jobsLeft === 0) ShowControls();
}

// What the worker said the run came to and of the card, and from the map's JSON line the rest of the card and
// the error's code and sentence.
function Record(job, message) {
  var json = JSON.parse(message.line);
  job.line = message.line;
  job.info = json.info;
  job.card = message.card;
  job.error = json.error_code || "";
  job.errorText = json.error || "";
  job.fileSize = message.run.opened ? message.run.fileSize : null;
  job.items = message.run.items;
  job.embeddedSize = message.run.embeddedSize;
}

// A map that ends without the logic's word: its box says why; no line for it.
function EndWith(job, code, sentence) {
  job.error = code;
  job.errorText = sentence;
  ShowBox(job, "warning", sentence);
  Finish(job);
}

function EndWorker(slot) {
  if (slot.worker) slot.worker.terminate();
  slot.worker = null;
  slot.ready = false;
}

// Said once, on the page; every map left gets it as its box, and no worker is started again.
function Unavailable() {
  unavailable = true;
  slots.forEach(EndWorker);
  notice.textContent = unavailableText;
  notice.hidden = false;
  var left = slots.filter(function (slot) { return slot.job; }).map(function (slot) { return slot.job; }).concat(queue);
  queue = [];
  left.forEach(function (job) { EndWith(job, "unavailable", unavailableText); });
}

// The bytes the worker reads of a large file, read here (WebKit lets only the page read a chosen file from
// disk) and handed over, not copied.
function Serve(slot, job, position, length) {
  ReadBytes(job.file.slice(position, position + length)).then(function (bytes) {
    if (slot.job !== job) return;
    job.read = Math.max(job.read, position + bytes.byteLength);
    ShowProgress(job);
    slot.worker.postMessage({ bytes: bytes }, [bytes]);
  }, function () {
    if (slot.job === job) slot.worker.postMessage({ bytes: null });
  });
}

function Hear(slot, message) {
  if (message.ready) {
    slot.ready = true;
    if (compiled === undefined) compiled = message.compiled;
    return Next();
  }
  if (message.unavailable) return Unavailable();
  var job = slot.job;
  if (!job || message.id !== job.id) return;
  if (message.read) {
    Serve(slot, job, message.read[0], message.read[1]);
  } else if (message.box) {
    ShowBox(job, message.box.kind, message.box.text, message.box.run);
  } else if (message.progress) {
    job.checked = message.progress;
    ShowProgress(job);
  } else if (message.files) {
    ShowFiles(job, message.files);
  } else if (message.done) {
    if (message.heap > keptHeap) EndWorker(slot);
    Record(job, message);
    Finish(job);
    Next();
  }
}

function StartWorker(slot) {
  slot.ready = false;
  try {
    slot.worker = new Worker(workerUrl);
  } catch (e) {
    return Unavailable();
  }
  slot.worker.onmessage = function (event) { Hear(slot, event.data); };
  try {
    slot.worker.postMessage({ compiled: compiled || null });
  } catch (e) {
    slot.worker.postMessage({ compiled: null });
  }
  // A worker that dies before it is ready cannot run here; one that dies on a map was refused memory for it.
  // The next map gets a new worker.
  slot.worker.onerror = function (event) {
    event.preventDefault();
    if (!slot.ready) return Unavailable();
    var job = slot.job;
    EndWorker(slot);
    if (job) EndWith(job, "out_of_memory", "Out of memory.");
    Next();
  };
}

// A blob's bytes: FileReader, which WebKit reads a file with several times as fast as with arrayBuffer().
function ReadBytes(blob) {
  return new Promise(function (done, fail) {
    var reader = new FileReader();
    reader.onload = function () { done(reader.result); };
    reader.onerror = fail;
    reader.readAsArrayBuffer(blob);
  });
}

// A small file is read whole here, to go with its map; a folder, or a file the browser will not read, cannot
// be opened, and the worker hears so with the map. A file is read whole as it is (a slice of it would be one
// more blob for the browser to make).
function Prepare(job) {
  if (!job.file) return Promise.resolve({ readable: false, bytes: null });
  var whole = job.size <= kWholeFile;
  return ReadBytes(whole ? job.file : job.file.slice(0, 1)).then(function (bytes) {
    return { readable: true, bytes: whole ? bytes : null };
  }, function () { return { readable: false, bytes: null }; });
}

// The next maps' files are read while the workers run the maps before them, a few maps ahead.
function ReadAhead() {
  queue.slice(0, 2 * kWorkers).forEach(function (job) {
    if (!job.prepared) job.prepared = Prepare(job);
  });
}

function Run(slot, job) {
  slot.job = job;
  job.slot = slot;
  job.state = "running";
  DrawSoon(job);
  job.timer = setTimeout(function () { ShowRunning(job); }, progressAfterMs);
  (job.prepared || Prepare(job)).then(function (prepared) {
    job.prepared = null;
    if (slot.job !== job) return;
    var game = job.game = chooser.value;
    slot.worker.postMessage({ id: job.id, name: job.name, size: job.size,
                              readable: prepared.readable, bytes: prepared.bytes, limit: [game, games[game][1]] },
                            prepared.bytes ? [prepared.bytes] : []);
  });
}

// Each free worker takes the next map; workers start as the queue needs them.
function Next() {
  if (unavailable) return Unavailable();
  var waiting = queue.length;
  slots.forEach(function (slot) {
    if (slot.job || waiting === 0) return;
    var starting = slots.some(function (other) { return other.worker && !other.ready; });
    if (!slot.worker && (compiled !== undefined || !starting)) StartWorker(slot);
    if (slot.ready && queue.length > 0) Run(slot, queue.shift());
    --waiting;
  });
  ReadAhead();
}

// The map ends, stopped, and its worker with it.
function Halt(job) {
  if (job.slot) EndWorker(job.slot);
  job.prepared = null;
  job.stopped = true;
  job.error = "stopped";
  job.errorText = "Stopped.";
  Finish(job);
}

// A running map's worker ends with it, and a new one takes its place; a map still waiting leaves the queue.
function Stop(job) {
  if (job.done) return;
  queue = queue.filter(function (other) { return other !== job; });
  Halt(job);
  Next();
}

// Every map left, running or waiting, ends at once, each said as stopped; new workers start with the next
// choice.
function StopAll() {
  queue = [];
  jobs.filter(function (job) { return !job.done; }).forEach(Halt);
}

// Every map goes, and those left end with their workers: the next choice starts afresh.
function Forget() {
  slots.forEach(function (slot) { if (slot.job) EndWorker(slot); slot.job = null; });
  jobs.forEach(function (job) {
    clearTimeout(job.timer);
    ForgetThumbnail(job);
  });
  clearTimeout(drawing);
  drawing = 0;
  toDraw = [];
  jobs = [];
  jobsLeft = 0;
  queue = [];
  ShowControls();
}

// Stop all while any map is left; Clear while there is anything to clear. Stop all, once gone, leaves its
// focus to Clear.
var controls = document.getElementById("controls");
var stopAll = controls.querySelector("[data-stop-all]");
var clear = controls.querySelector("[data-clear]");
function ShowControls() {
  if (jobsLeft === 0 && document.activeElement === stopAll) clear.focus();
  stopAll.hidden = jobsLeft === 0;
  controls.hidden = jobs.length === 0;
}
stopAll.addEventListener("click", StopAll);

function Add(batch, name, file, folded) {
  // A file's size is read once: Chromium asks the file system again each time it is read.
  var job = { id: nextId++, name: name, file: file, size: file ? file.size : 0, batch: batch, state: "waiting",
              done: false, read: 0, checked: null, progress: null, running: null, timer: 0, reported: false,
              stopped: false, findings: [], error: "", errorText: "", fileSize: null, items: 0, embeddedSize: 0,
              line: null, game: null, slot: null, row: null, limit: null, prepared: null, undrawn: [],
              lastBox: null, info: null, card: null, sameUid: null, sameUidItem: null, thumbnailUrl: null };
  batch.jobs.push(job);
  ++batch.left;
  jobs.push(job);
  ++jobsLeft;
  queue.push(job);
  AddResult(job, folded);
  return job;
}

for (var slotIndex = 0; slotIndex < kWorkers; ++slotIndex) slots.push({ worker: null, ready: false, job: null });
