// One map's result: headed by its name, its card, the boxes the Windows program shows for it, the embedded
// files and what is wrong with them, folded away in a large pool; its file's size against the chosen game's
// limit; and while it runs, how far it has come and a button that stops it. Map text is only ever set as text.
var results = document.getElementById("results");
var chooser = document.getElementById("game");
var games = { tm2020: ["Trackmania (2020)", 7336960], maniaplanet: ["ManiaPlanet", 4194304],
              forever: ["TrackMania Forever", 1048576] };
// A large table shows this many of its largest files at first, and the rest on request, in pieces of this
// many between frames, so that no list holds the page for long.
var kFirstFiles = 100;
var kFilesAFrame = 500;

function Make(tag, className, text) {
  var element = document.createElement(tag);
  if (className) element.className = className;
  if (text !== undefined) element.textContent = text;
  return element;
}

// 7,336,960: written here, as the locale's formatter costs more than a pool's every other count.
function Grouped(count) { return String(count).replace(/\B(?=(\d{3})+$)/g, ","); }

function Plural(count, word) { return Grouped(count) + " " + word + (count === 1 ? "" : "s"); }

// As the report writes sizes: "812 bytes", "12.3 kB", "345.6 KB", "6.3 MB", "1.2 GB".
function SizeText(bytes) {
  if (bytes < 1000) return bytes + " bytes";
  var unit = bytes < 100000 ? " kB" : bytes < 1e6 ? " KB" : bytes < 1e9 ? " MB" : " GB";
  return (bytes / (bytes < 1e6 ? 1e3 : bytes < 1e9 ? 1e6 : 1e9)).toFixed(1) + unit;
}

function Game() { return games[chooser.value]; }

// What the command writes as U+FFFD on a line, as box.cpp does for the names of the report: a string from the
// map's JSON line is shown so.
var kUnsafeInLine = /[\u0000-\u001f\u007f-\u009f\u2028\u2029\u202a-\u202e\u2066-\u2069]/g;
function LineSafe(text) { return text.replace(kUnsafeInLine, "\uFFFD"); }

// A name's runs as spans in their colours and styles (box.h's TextStyle bits, and a link's), in `parent`. A link
// is drawn as text alone: no address a map gives ever becomes live.
var kLooks = ["bold", "italic", "wide", "narrow", "upper", "shadow", "link"];
function DrawStyled(parent, runs) {
  parent.classList.add("styled");
  runs.forEach(function (run) {
    var span = parent.appendChild(Make("span", "", run.text));
    if (run.colour >= 0) span.style.color = "#" + run.colour.toString(16).padStart(6, "0");
    kLooks.forEach(function (look, bit) { if (run.looks & (1 << bit)) span.classList.add(look); });
  });
  return parent;
}

function PlainRuns(runs) { return runs.map(function (run) { return run.text; }).join(""); }

// As the command's --info writes the author: the nickname without its codes and the login, or the one given.
function AuthorText(job) {
  var nickname = job.info.author_nickname !== null ? PlainRuns(job.card.nickname) : null;
  var login = job.info.author !== null ? LineSafe(job.info.author) : null;
  return nickname !== null && login !== null ? nickname + " (" + login + ")" : login !== null ? login : nickname;
}

// A medal time as m:ss.mmm, as the command writes it; "none" for a medal the map has none for.
function MedalText(ms) {
  if (ms === null) return "none";
  return Math.trunc(ms / 60000) + ":" + String(Math.trunc(ms / 1000) % 60).padStart(2, "0") + "." +
    String(ms % 1000).padStart(3, "0");
}

// The map's card, first in its details: its thumbnail upright (a map stores it bottom up; one that does not
// decode goes), its name in its colours, then what the command's --info says of the map, line for line.
function DrawCard(job) {
  var section = Make("section", "card"), info = job.info;
  section.setAttribute("aria-label", "Map card of " + job.name);
  job.details.insertBefore(section, job.details.firstChild.nextSibling);
  if (!info) return section.appendChild(Make("p", "", "No map card in its header."));
  var thumbnail = job.card.thumbnail;
  if (thumbnail[1] > 0 && job.file) {
    var image = section.appendChild(Make("img"));
    image.dataset.thumbnail = "";
    image.alt = "Thumbnail of " + job.name;
    image.src = job.thumbnailUrl = URL.createObjectURL(job.file.slice(thumbnail[0], thumbnail[0] + thumbnail[1],
                                                                      "image/jpeg"));
    image.addEventListener("error", function () { image.remove(); ForgetThumbnail(job); });
  }
  var facts = section.appendChild(Make("dl"));
  var Fact = function (term, text) {
    var row = facts.appendChild(Make("div"));
    row.appendChild(Make("dt", "", term));
    return row.appendChild(Make("dd", "", text));
  };
  if (info.name !== null) DrawStyled(Fact("Name").appendChild(Make("span")), job.card.name).dataset.nameText = "";
  if (info.author !== null || info.author_nickname !== null) Fact("Author", AuthorText(job));
  if (info.uid !== null) Fact("Uid").appendChild(Make("code", "", LineSafe(info.uid)));
  if (info.title !== null) Fact("Title pack", LineSafe(info.title));
  if (info.environment !== null) Fact("Environment", LineSafe(info.environment));
  var times = info.times;
  if (times) {
    Fact("Medal times", "author " + MedalText(times.author) + ", gold " + MedalText(times.gold) + ", silver " +
         MedalText(times.silver) + ", bronze " + MedalText(times.bronze));
  }
  info.dependencies.forEach(function (dependency) {
    var url = dependency.url !== null ? " (" + LineSafe(dependency.url) + ")" : "";
    Fact("Dependency", LineSafe(dependency.file) + url);
  });
}

function ForgetThumbnail(job) {
  if (job.thumbnailUrl) URL.revokeObjectURL(job.thumbnailUrl);
  job.thumbnailUrl = null;
}

// The map holds the uid of an earlier map of the pool: said with what is wrong with its files, after them.
function ShowSameUid(job) {
  if (job.findings.indexOf("duplicate_uid") < 0) {
    job.findings.push("duplicate_uid");
    Draw(job, function () { DrawSameUid(job); });
  } else if (job.sameUidItem) {
    job.sameUidItem.textContent = SameUidSentence(job);
  }
  if ("done" in job.result.dataset) job.gist.textContent = Gist(job);
}

function SameUidSentence(job) { return "Same uid as an earlier map: " + LineSafe(job.sameUid.name); }

function DrawSameUid(job) {
  var list = Make("ul", "findings"), files = job.details.querySelector(".files");
  list.setAttribute("aria-label", "What is wrong with the map");
  job.sameUidItem = list.appendChild(Make("li", "", SameUidSentence(job)));
  job.sameUidItem.dataset.finding = "duplicate_uid";
  if (!files) return job.details.appendChild(list);
  var first = files.querySelector("ul.findings");
  files.insertBefore(list, first ? first.nextSibling : files.firstChild);
}

// A new result, in the order chosen; its details folded when the pool is large.
function AddResult(job, folded) {
  var result = job.result = Make("article");
  result.id = "result-" + job.id;
  result.dataset.map = job.name;
  result.setAttribute("aria-busy", "true");
  result.setAttribute("aria-labelledby", "map-" + job.id);
  result.appendChild(Make("h2", "", job.name)).id = "map-" + job.id;
  job.gist = result.appendChild(Make("p", "gist"));
  job.details = result.appendChild(Make("details"));
  job.details.open = !folded;
  job.details.appendChild(Make("summary", "", "Card, report, embedded files and findings"));
  job.details.addEventListener("toggle", function () { if (job.details.open) DrawDetails(job); });
  results.appendChild(result);
}

// Folded details are drawn when they are first opened: a pool's page draws only the lines in sight.
function Draw(job, action) {
  if (job.details.open) return action();
  job.undrawn.push(action);
}

function DrawDetails(job) {
  job.undrawn.splice(0).forEach(function (action) { action(); });
}

function ShowBox(job, kind, text, run) {
  if (kind === "information") Reported(job, run);
  Draw(job, function () { DrawBox(job, kind, text); });
}

// A report stands: what the run came to, which the worker sends ahead of the report's box, is kept now, so
// that it stays when the map is stopped before its run ends.
function Reported(job, run) {
  job.reported = true;
  job.fileSize = run.fileSize;
  job.items = run.items;
  job.embeddedSize = run.embeddedSize;
}

function DrawBox(job, kind, text) {
  if (kind === "more") {
    job.lastBox.append(text);
    return;
  }
  var name = kind === "information" ? "Information" : "Warning";
  var box = Make("div", "box " + kind);
  box.setAttribute("role", "group");
  box.setAttribute("aria-label", "Tallyglass: " + name);
  box.appendChild(Make("div", "caption", "Tallyglass"));
  var content = box.appendChild(Make("div", "content"));
  var icon = content.appendChild(Make("span", "icon", kind === "information" ? "i" : "!"));
  icon.setAttribute("role", "img");
  icon.setAttribute("aria-label", name);
  job.lastBox = content.appendChild(Make("p", "", text));
  job.lastBox.dataset.kind = kind;
  job.details.appendChild(box);
}

// The worker's lists as one record a file.
function FileEntries(files) {
  var entries = [], texts = files.sizeTexts.split("\n");
  for (var i = 0, at = 0; i < files.lengths.length; at += files.lengths[i], ++i) {
    entries.push({ name: files.names.substr(at, files.lengths[i]), shown: files.shown.substr(at, files.lengths[i]),
                   size: files.sizes[2 * i], packed: files.sizes[2 * i + 1], sizeText: texts[2 * i],
                   packedText: texts[2 * i + 1] });
  }
  return entries;
}

function FileRow(entry, largest) {
  var row = Make("tr");
  row.dataset.file = entry.name;
  row.dataset.size = String(entry.size);
  row.dataset.packedSize = String(entry.packed);
  row.appendChild(Make("td", "", entry.shown));
  row.appendChild(Make("td", "size", entry.packedText));
  row.appendChild(Make("td", "size", entry.sizeText));
  var bar = row.appendChild(Make("td")).appendChild(Make("meter"));
  bar.max = largest || 1;
  bar.value = entry.packed;
  bar.setAttribute("aria-label", "Packed size of " + entry.shown + ", against the largest file's");
  return row;
}

// Items `from` onward into `parent`, drawn in pieces between frames once the button asks for them.
function DrawRest(button, parent, items, from, Draw) {
  button.addEventListener("click", function () {
    button.remove();
    (function Piece(at) {
      var end = Math.min(items.length, at + kFilesAFrame), piece = document.createDocumentFragment();
      for (var i = at; i < end; ++i) piece.appendChild(Draw(items[i]));
      parent.appendChild(piece);
      if (end < items.length) requestAnimationFrame(function () { Piece(end); });
    })(from);
  });
}

function MoreButton(count, what) {
  var button = Make("button", "rest", "Show the other " + Plural(count, what));
  button.type = "button";
  return button;
}

// Under the report, what is wrong with the embedded files, then the files, largest packed first, each with a
// bar to its size; where the archive cannot be read, that in place of the table. Their total is the worker's:
// the bytes the archive holds, each counted once however many entries share it.
function ShowFiles(job, files) {
  job.findings = [];
  files.findings.forEach(function (finding) {
    if (job.findings.indexOf(finding.kind) < 0) job.findings.push(finding.kind);
  });
  Draw(job, function () { DrawFiles(job, files); });
}

function DrawFiles(job, files) {
  var entries = FileEntries(files);
  var section = Make("section", "files");
  section.setAttribute("aria-label", "Embedded files of " + job.name);
  // What is wrong stands first: a bomb's table of thousands of files would hide it.
  if (files.findings.length > 0) {
    var list = section.appendChild(Make("ul", "findings"));
    list.setAttribute("aria-label", "What is wrong with them");
    var Finding = function (finding) {
      var item = Make("li", "", finding.sentence);
      item.dataset.finding = finding.kind;
      return item;
    };
    files.findings.slice(0, kFirstFiles).forEach(function (finding) { list.appendChild(Finding(finding)); });
    if (files.findings.length > kFirstFiles) {
      DrawRest(section.appendChild(MoreButton(files.findings.length - kFirstFiles, "finding")), list, files.findings,
               kFirstFiles, Finding);
    }
  }
  if (!files.known) {
    section.appendChild(Make("p", "", "Which files the map embeds is not known: their archive cannot be read."));
  } else if (entries.length === 0) {
    section.appendChild(Make("p", "", "No embedded files."));
  } else {
    var table = section.appendChild(Make("table"));
    table.appendChild(Make("caption", "", entries.length === 1 ? "Embedded file" :
                                          Plural(entries.length, "embedded file") + ", largest packed first"));
    var head = table.appendChild(Make("thead")).appendChild(Make("tr"));
    ["Name", "Packed", "Size", "Share of the largest"].forEach(function (title) {
      head.appendChild(Make("th", title === "Name" ? "" : "size", title)).scope = "col";
    });
    entries.sort(function (a, b) { return b.packed - a.packed; });
    var body = table.appendChild(Make("tbody"));
    var Draw = function (entry) { return FileRow(entry, entries[0].packed); };
    entries.slice(0, kFirstFiles).forEach(function (entry) { body.appendChild(Draw(entry)); });
    var total = table.appendChild(Make("tfoot")).appendChild(Make("tr"));
    total.appendChild(Make("th", "", "Packed in all")).scope = "row";
    total.appendChild(Make("td", "size", files.packedText));
    if (entries.length > kFirstFiles) {
      DrawRest(section.appendChild(MoreButton(entries.length - kFirstFiles, "file")), body, entries, kFirstFiles, Draw);
    }
  }
  job.details.appendChild(section);
}

// While the map runs: how far it has come, and the button that stops it.
function ShowRunning(job) {
  job.running = job.result.appendChild(Make("div", "running"));
  job.progress = job.running.appendChild(Make("progress"));
  var stop = job.running.appendChild(Make("button", "", "Stop"));
  stop.type = "button";
  stop.dataset.stop = "";
  stop.setAttribute("aria-label", "Stop reading " + job.name);
  stop.addEventListener("click", function () { Stop(job); });
  ShowProgress(job);
}

// Reading the map (`job.read` of its bytes), then checking its embedded files (`job.checked`).
function ShowProgress(job) {
  if (!job.progress) return;
  var checking = job.checked !== null;
  job.progress.max = checking ? job.checked[1] : job.size;
  job.progress.value = checking ? job.checked[0] : job.read;
  job.progress.setAttribute("aria-label", (checking ? "Checking the embedded files of " : "Reading ") + job.name);
}

// "The map file is 6.3 MB, 1.0 MB under the 7.3 MB that Trackmania (2020) takes." and the bytes beside, for a
// map that got its report.
function ShowLimit(job) {
  if (!job.limit) return;
  var game = Game(), size = job.fileSize, over = size > game[1], by = Math.abs(size - game[1]);
  job.limit.textContent = "The map file is " + SizeText(size) + ", " + SizeText(by) + (over ? " over" : " under") +
    " the " + SizeText(game[1]) + " that " + game[0] + " takes. ";
  job.limit.appendChild(Make("span", "bytes", "(" + Grouped(size) + " bytes, " +
    Grouped(by) + (over ? " over " : " under ") + Grouped(game[1]) + ")"));
  job.limit.toggleAttribute("data-over", over);
}

// One line that stays in sight when the details are folded.
function Gist(job) {
  if (job.stopped && job.reported && job.items !== null) {
    return "Stopped after its report, " + Plural(job.items, "item") + ": its embedded files were not all read.";
  }
  if (job.stopped) return "Stopped: the map was not read to its end.";
  if (!job.reported) return job.errorText || "";
  var parts = [Plural(job.items, "item"), SizeText(job.embeddedSize) + " of embedded files"];
  if (job.findings.length > 0) parts.push("findings: " + job.findings.join(", ").replaceAll("_", " "));
  return parts.join("; ");
}

function FinishResult(job) {
  if (job.line) Draw(job, function () { DrawCard(job); });
  if (job.running) job.running.remove();
  job.running = job.progress = null;
  job.gist.textContent = Gist(job);
  job.gist.classList.toggle("stopped", job.stopped);
  if (job.reported && job.fileSize !== null) {
    job.limit = job.result.insertBefore(Make("p", "limit"), job.details);
    ShowLimit(job);
  }
  job.result.dataset.done = "";
  job.result.removeAttribute("aria-busy");
}
