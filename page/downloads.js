// The whole run to take away, made here and sent nowhere: JSON Lines, each map's line as
// `tallyglass --json --files --limit=GAME` writes it, and CSV with the overview's columns for spreadsheets.
var downloads = document.getElementById("downloads");

// The line as JSON, each number kept as the command wrote it: a file's size may pass 2^53, past which JSON.parse
// rounds it. The reviver meets the numbers in the order they stand in the line, where no string holds them.
function Digits(text) { this.text = text; }
function ReadLine(line) {
  var numbers = line.match(/"(?:[^"\\]|\\.)*"|-?\d[\d.eE+-]*/g).filter(function (token) { return token[0] !== '"'; });
  var next = 0;
  return JSON.parse(line, function (key, value) {
    return typeof value === "number" ? new Digits(numbers[next++]) : value;
  });
}

// JSON as the command writes it: fields in their order, ", " and ": " between them, and in a string only what
// cannot stand in one or could break a line escaped (controls as \uXXXX).
var kJsonEscaped = /["\\\u0000-\u001f\u007f-\u009f\u2028\u2029\u202a-\u202e\u2066-\u2069]/g;
var kJsonEscapes = { '"': '\\"', "\\": "\\\\", "\n": "\\n", "\r": "\\r", "\t": "\\t" };
function JsonText(value) {
  if (value instanceof Digits) return value.text;
  if (typeof value === "string") {
    return '"' + value.replace(kJsonEscaped, function (c) {
      return kJsonEscapes[c] || "\\u" + c.charCodeAt(0).toString(16).toUpperCase().padStart(4, "0");
    }) + '"';
  }
  if (Array.isArray(value)) return "[" + value.map(JsonText).join(", ") + "]";
  if (value !== null && typeof value === "object") {
    return "{" + Object.keys(value).map(function (key) { return JsonText(key) + ": " + JsonText(value[key]); })
      .join(", ") + "}";
  }
  return String(value);
}

// The line of a map with the uid of an earlier one, with that finding last among its findings, as the command
// writes it in one run; the earlier map's name as its own line writes it. Inside a JSON string every " is
// escaped: `"findings": [` can only be the key, and `], "` only the end of its array, which "limit" or
// "warnings" follows.
function LineOf(job) {
  if (!job.sameUid) return job.line;
  var line = job.line, at = line.indexOf('"findings": [') + 13, end = line.indexOf('], "', at);
  var earlier = /^\{"map": ("(?:[^"\\]|\\.)*")/.exec(job.sameUid.line)[1];
  return line.slice(0, end) + (end > at ? ", " : "") + '{"kind": "duplicate_uid", "map": ' + earlier + "}" +
    line.slice(end);
}

// Each map's line with its limit as the chosen game gives it: the worker wrote it for the game chosen then.
// Maps stopped, or refused the memory, have no line: the command would have written theirs.
function JsonLines() {
  var game = chooser.value;
  return jobs.filter(function (job) { return job.line; }).map(function (job) {
    var line = LineOf(job);
    if (job.game === game) return line;
    var json = ReadLine(line);
    if (!json.limit) return line;
    json.limit = { name: game, bytes: games[game][1], over: Over(job) };
    return JsonText(json) + "\n";
  });
}

// A field as spreadsheets read it: a number as it is, a text that starts like a formula kept as text.
function CsvField(value) {
  var text = String(value);
  if (typeof value === "string" && /^[=+\-@\t\r]/.test(text)) text = "'" + text;
  return /[",\r\n]/.test(text) ? '"' + text.replaceAll('"', '""') + '"' : text;
}

function OrBlank(value) { return value === null ? "" : value; }

function CsvRows() {
  var rows = [["map", "items", "embedded_size", "file_size", "limit", "limit_bytes", "over", "margin_bytes",
               "findings", "error_code", "error", "uid", "name_text", "author", "title", "author_time"]];
  jobs.forEach(function (job) {
    if (!job.done) return;
    var known = job.fileSize !== null;
    rows.push([job.name, job.reported ? OrBlank(job.items) : "", job.reported ? OrBlank(job.embeddedSize) : "",
               OrBlank(job.fileSize), chooser.value, Game()[1], known ? Over(job) : "", OrBlank(Margin(job)),
               job.findings.join(" "), job.error, job.errorText, OrBlank(Info(job, "uid")),
               OrBlank(Info(job, "name_text")), OrBlank(Info(job, "author")), OrBlank(Info(job, "title")),
               OrBlank(AuthorTime(job))]);
  });
  return rows.map(function (row) { return row.map(CsvField).join(","); });
}

function Save(name, type, lines) {
  var url = URL.createObjectURL(new Blob(lines.map(function (line) { return line + (type === "text/csv" ? "\r\n" : ""); }),
                                         { type: type }));
  var link = Make("a");
  link.href = url;
  link.download = name;
  document.body.appendChild(link);
  link.click();
  link.remove();
  setTimeout(function () { URL.revokeObjectURL(url); }, 60000);
}

downloads.querySelector('[data-download="jsonl"]').addEventListener("click", function () {
  Save("tallyglass.jsonl", "application/jsonl", JsonLines());
});
downloads.querySelector('[data-download="csv"]').addEventListener("click", function () {
  Save("tallyglass.csv", "text/csv", CsvRows());
});
