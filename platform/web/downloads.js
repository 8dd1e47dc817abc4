// The whole run to take away, made here and sent nowhere: JSON Lines, each map's line as
// `tallyglass --json --files --limit=GAME` writes it, and CSV with the overview's columns for spreadsheets.
var downloads = document.getElementById("downloads");

// The line's limit as the chosen game gives it: the worker made it with the game chosen then, and it always
// stands right before `, "warnings"`, where no string value can hold its unescaped quotes.
function LimitJson(job) {
  var game = chooser.value;
  return ', "limit": {"name": "' + game + '", "bytes": ' + games[game][1] + ', "over": ' + Over(job) + "}";
}

function KeepLine(job, line) {
  var at = line.lastIndexOf(', "limit": {');
  job.line = at < 0 ? { head: line, tail: "" } : { head: line.slice(0, at), tail: line.slice(line.indexOf("}", at) + 1) };
  job.limited = at >= 0;
}

// Maps stopped, or refused the memory, have no line: the command would have written theirs.
function JsonLines() {
  return jobs.filter(function (job) { return job.line; }).map(function (job) {
    return job.line.head + (job.limited ? LimitJson(job) : "") + job.line.tail;
  });
}

// A field as spreadsheets read it: a number as it is, a text that starts like a formula kept as text.
function CsvField(value) {
  var text = String(value);
  if (typeof value === "string" && /^[=+\-@\t\r]/.test(text)) text = "'" + text;
  return /[",\r\n]/.test(text) ? '"' + text.replaceAll('"', '""') + '"' : text;
}

function CsvRows() {
  var rows = [["map", "items", "embedded_size", "file_size", "limit", "limit_bytes", "over", "margin_bytes",
               "findings", "error_code", "error"]];
  jobs.forEach(function (job) {
    if (!job.done) return;
    var known = job.fileSize !== null;
    rows.push([job.name, job.reported ? job.items : "", job.reported ? job.embeddedSize : "", known ? job.fileSize : "",
               chooser.value, Game()[1], known ? Over(job) : "", known ? Margin(job) : "", job.findings.join(" "),
               job.error, job.errorText]);
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
