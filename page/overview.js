// The overview of a pool: once two or more maps are chosen, a table above the results, one row a map, filled
// as each map is done. The rows that need attention (over the limit, findings, an error) come first until a
// column's heading sorts it; a switch shows only those.
var overview = document.getElementById("overview");
var overviewRows = overview.querySelector("tbody");
var attentionOnly = document.getElementById("attention");
var counts = document.getElementById("counts");
// By the column of this key, or with `null` by attention first; then in the order chosen.
var sorting = { key: null, descending: false };

// What a map needs attention for: over the limit, findings, or an error; nothing until it is done.
function Over(job) { return job.fileSize !== null && job.fileSize > Game()[1]; }
function NeedsAttention(job) { return job.done && (Over(job) || job.findings.length > 0 || job.error !== ""); }

function Margin(job) { return job.fileSize === null ? null : job.fileSize - Game()[1]; }
function Problems(job) { return job.error !== "" ? job.errorText : job.findings.join(" "); }

function Info(job, key) { return job.info && job.info[key] !== null ? job.info[key] : null; }
function AuthorTime(job) { return job.info && job.info.times ? job.info.times.author : null; }

// Each column: its key, its heading, the value it sorts by (null: not known, last) and, but for the map and its
// name, the text it shows.
var kColumns = [
  { key: "map", title: "Map", Value: function (job) { return job.name; } },
  { key: "name", title: "Name", Value: function (job) { return Info(job, "name_text"); } },
  { key: "author", title: "Author", Value: function (job) { return job.info && AuthorText(job); },
    Text: function (job) { return job.info && AuthorText(job) || ""; } },
  { key: "title", title: "Title pack", Value: function (job) { return Info(job, "title"); },
    Text: function (job) { return LineSafe(Info(job, "title") || ""); } },
  { key: "author_time", title: "Author time", numeric: true, Value: AuthorTime,
    Text: function (job) { return job.info && job.info.times ? MedalText(AuthorTime(job)) : ""; } },
  { key: "items", title: "Items", numeric: true, Value: function (job) { return job.reported ? job.items : null; },
    Text: function (job) { return job.reported ? Known(job.items, Grouped) : ""; } },
  { key: "embedded", title: "Embedded", numeric: true,
    Value: function (job) { return job.reported ? job.embeddedSize : null; },
    Text: function (job) { return job.reported ? Known(job.embeddedSize, SizeText) : ""; } },
  { key: "size", title: "File size", numeric: true, Value: function (job) { return job.fileSize; },
    Text: function (job) { return Known(job.fileSize, SizeText); } },
  { key: "limit", title: "Against the limit", numeric: true, Value: Margin, Text: MarginText },
  { key: "problems", title: "Findings or error", Value: Problems,
    Text: function (job) { return job.error !== "" ? job.errorText : job.findings.join(", ").replaceAll("_", " "); } },
];
var kColumnAt = {};
kColumns.forEach(function (column, i) { kColumnAt[column.key] = i; });

function MarginText(job) {
  var margin = Margin(job);
  return margin === null ? "" : SizeText(Math.abs(margin)) + (margin > 0 ? " over" : " under");
}

// A number not known: no text.
function Known(value, Text) { return value === null ? "" : Text(value); }

function AddRow(job) {
  var row = job.row = Make("tr");
  row.dataset.row = "";
  row.dataset.map = job.name;
  var link = row.appendChild(Make("td")).appendChild(Make("a", "", job.name));
  link.href = "#result-" + job.id;
  link.addEventListener("click", function () { job.details.open = true; });
  for (var i = 1; i < kColumns.length; ++i) row.appendChild(Make("td", kColumns[i].numeric ? "size" : ""));
  row.cells[kColumnAt.name].dataset.nameCell = "";
  overviewRows.appendChild(row);
  if (overviewRows.rows.length >= 2) overview.hidden = false;
  FillRow(job);
}

// The row as the map stands: its cells, its data for scripts, and whether it needs attention. The name is
// drawn once, in its colours, when its line is in.
function FillRow(job) {
  var row = job.row;
  kColumns.forEach(function (column, i) {
    if (!column.Text) return;
    var text = job.done ? column.Text(job) : column.key !== "problems" ? ""
      : job.state === "running" ? "running" : "waiting";
    if (row.cells[i].textContent !== text) row.cells[i].textContent = text;
  });
  var name = row.cells[kColumnAt.name];
  if (Info(job, "name") !== null && !name.firstChild) DrawStyled(name.appendChild(Make("span")), job.card.name);
  row.cells[kColumnAt.limit].classList.toggle("over", Over(job));
  row.cells[kColumnAt.problems].classList.toggle("bad", NeedsAttention(job));
  if (job.done) {
    if (job.fileSize !== null) row.dataset.fileSize = String(job.fileSize);
    if (job.reported && job.items !== null) row.dataset.items = String(job.items);
    if (job.reported && job.embeddedSize !== null) row.dataset.embeddedSize = String(job.embeddedSize);
    if (Info(job, "uid") !== null) row.dataset.uid = job.info.uid;
    if (Info(job, "name") !== null) row.dataset.name = job.info.name;
    row.dataset.findings = job.findings.join(" ");
    row.dataset.error = job.error;
  }
  row.toggleAttribute("data-attention", NeedsAttention(job));
  row.hidden = attentionOnly.checked && !NeedsAttention(job);
}

// Maps not done yet go last whichever way a column sorts.
function Compare(a, b) {
  if (a.done !== b.done) return a.done ? -1 : 1;
  var order = 0;
  if (sorting.key === null) {
    order = (NeedsAttention(b) ? 1 : 0) - (NeedsAttention(a) ? 1 : 0);
  } else {
    var column = kColumns.find(function (c) { return c.key === sorting.key; });
    var x = column.Value(a), y = column.Value(b);
    if (x === null || y === null) return x === y ? a.id - b.id : x === null ? 1 : -1;
    order = column.numeric ? x - y : x < y ? -1 : x > y ? 1 : 0;
    if (sorting.descending) order = -order;
  }
  return order || a.id - b.id;
}

// Rows move only where they must, so that a row that has the focus keeps it.
function SortRows() {
  var rows = jobs.filter(function (job) { return job.row; }).sort(Compare);
  rows.forEach(function (job, i) {
    if (overviewRows.rows[i] !== job.row) overviewRows.insertBefore(job.row, overviewRows.rows[i] || null);
  });
  Array.prototype.forEach.call(overview.querySelectorAll("thead th"), function (th, i) {
    if (i < kColumns.length && kColumns[i].key === sorting.key) {
      th.setAttribute("aria-sort", sorting.descending ? "descending" : "ascending");
    } else {
      th.removeAttribute("aria-sort");
    }
  });
}

// A map stopped is counted as stopped, neither as a report nor as an error, here as in the summary.
function CountMaps() {
  var done = jobs.filter(function (job) { return job.done; });
  var over = done.filter(Over).length;
  var findings = done.filter(function (job) { return job.findings.length > 0; }).length;
  var stopped = done.filter(function (job) { return job.stopped; }).length;
  var errors = done.filter(function (job) { return job.error !== ""; }).length - stopped;
  counts.textContent = done.length + " of " + Plural(jobs.length, "map") + " done: " + over + " over the limit, " +
    findings + " with findings, " + Plural(errors, "error") + (stopped > 0 ? ", " + stopped + " stopped." : ".");
}

// No rows: the overview is hidden until two maps are chosen again.
function ClearRows() {
  overviewRows.textContent = "";
  counts.textContent = "";
  overview.hidden = true;
}

// These maps' rows as they stand now, sorted again. A row set anew is laid out and painted anew, even with the
// same text: only rows whose maps changed are filled.
function FillRows(changed) {
  changed.forEach(function (job) { if (job.row) FillRow(job); });
  SortRows();
  CountMaps();
}

// Every row, as when the game or the switch changes what each shows.
function RefillRows() { FillRows(jobs); }

// A heading's button sorts by its column, ascending then descending; "Attention first" sorts as at first.
(function MakeHeadings() {
  var head = overview.querySelector("thead tr");
  kColumns.forEach(function (column) {
    var th = head.appendChild(Make("th"));
    th.scope = "col";
    var button = th.appendChild(Make("button", "", column.title));
    button.type = "button";
    button.dataset.sort = column.key;
    button.addEventListener("click", function () {
      sorting = { key: column.key, descending: sorting.key === column.key && !sorting.descending };
      SortRows();
    });
  });
  var reset = counts.parentNode.appendChild(Make("button", "", "Attention first"));
  reset.type = "button";
  reset.dataset.sort = "attention";
  reset.addEventListener("click", function () {
    sorting = { key: null, descending: false };
    SortRows();
  });
  attentionOnly.addEventListener("change", RefillRows);
})();
