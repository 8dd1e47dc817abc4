// The page's choosers: maps chosen or dropped, and folders, chosen or dropped, read whole with their
// subfolders, every .Gbx file in them a map named by its path inside the folder; the game whose limit
// applies. A pool of more than a few maps has its results' details folded.
var kFoldedAbove = 3;
var folderNote = document.getElementById("folder-note");

function IsMap(name) { return /\.gbx$/i.test(name); }

// Maps as [name, file], in the order given; others: files that are not maps, counted.
function AddMaps(maps, others) {
  if (others > 0) {
    folderNote.textContent = Plural(others, "file") + " in the folder " + (others === 1 ? "is" : "are") +
      " not a .Gbx file: not read.";
  }
  folderNote.hidden = others === 0;
  if (maps.length === 0) return;
  var batch = { jobs: [], left: 0 };
  maps.forEach(function (map) { Add(batch, map[0], map[1], maps.length > kFoldedAbove); });
  if (jobs.length >= 2) jobs.forEach(function (job) { if (!job.row) AddRow(job); });
  ShowControls();
  Next();
}

// A folder's files sorted by their paths, which are their names.
function ByName(a, b) { return a[0] < b[0] ? -1 : a[0] > b[0] ? 1 : 0; }

function AddFolderFiles(list) {
  var maps = list.filter(function (entry) { return IsMap(entry[0]); }).sort(ByName);
  AddMaps(maps, list.length - maps.length);
}

// Every file under a dropped folder, as [path inside `root`, File]; one the browser will not give is left out.
function ReadFolder(folder, root) {
  return new Promise(function (done) {
    var reader = folder.createReader(), children = [];
    (function ReadSome() {
      reader.readEntries(function (some) {
        if (some.length === 0) return done(children);
        children = children.concat(some);
        ReadSome();
      }, function () { done(children); });
    })();
  }).then(function (children) {
    return Promise.all(children.map(function (child) {
      if (child.isDirectory) return ReadFolder(child, root);
      return new Promise(function (done) {
        child.file(function (file) { done([[child.fullPath.slice(root.length + 1), file]]); }, function () { done([]); });
      });
    }));
  }).then(function (lists) { return [].concat.apply([], lists); });
}

// The same through a folder's handle, where the browser gives one: Chromium reads a folder dropped on a page
// opened from disk only so.
async function ReadFolderHandle(folder, path) {
  var files = [];
  for await (var child of folder.values()) {
    var at = path + child.name;
    if (child.kind === "directory") {
      files = files.concat(await ReadFolderHandle(child, at + "/"));
    } else {
      try { files.push([at, await child.getFile()]); } catch (e) { /* left out */ }
    }
  }
  return files;
}

var input = document.getElementById("maps");
input.addEventListener("change", function () {
  AddMaps(Array.prototype.map.call(input.files, function (file) { return [file.name, file]; }), 0);
  input.value = "";
});

// A folder chosen: each file's path starts with the folder's own name.
var folderInput = document.getElementById("folder");
folderInput.addEventListener("change", function () {
  AddFolderFiles(Array.prototype.map.call(folderInput.files, function (file) {
    return [file.webkitRelativePath.slice(file.webkitRelativePath.indexOf("/") + 1), file];
  }));
  folderInput.value = "";
});

// A choice adds its maps to those before it; Clear empties the page for the next, and stops the maps left,
// as one who clears means to see them no more. The focus goes back to the maps' chooser.
clear.addEventListener("click", function () {
  Forget();
  results.textContent = "";
  ClearRows();
  downloads.hidden = true;
  summary.textContent = "";
  folderNote.hidden = true;
  input.focus();
});

// Dropped anywhere: a map dropped beside the zone must not replace the page. Maps dropped as files keep the
// order given, then each folder's maps follow.
var zone = document.getElementById("drop");
document.addEventListener("dragover", function (event) {
  event.preventDefault();
  zone.classList.add("over");
});
document.addEventListener("dragleave", function () { zone.classList.remove("over"); });
document.addEventListener("drop", function (event) {
  event.preventDefault();
  zone.classList.remove("over");
  var items = event.dataTransfer.items, maps = [], folders = [];
  for (var i = 0; i < items.length; ++i) {
    if (items[i].kind !== "file") continue;
    var entry = items[i].webkitGetAsEntry ? items[i].webkitGetAsEntry() : null;
    if (entry && entry.isDirectory) {
      folders.push(items[i].getAsFileSystemHandle ? items[i].getAsFileSystemHandle().then(function (handle) {
        return ReadFolderHandle(handle, "");
      }).catch(function () { return []; }) : ReadFolder(entry, entry.fullPath));
    } else {
      var file = items[i].getAsFile();
      maps.push([file ? file.name : entry ? entry.name : "", file]);
    }
  }
  Promise.all(folders).then(function (lists) {
    var inFolders = [].concat.apply([], lists);
    var folderMaps = inFolders.filter(function (entry) { return IsMap(entry[0]); }).sort(ByName);
    AddMaps(maps.concat(folderMaps), inFolders.length - folderMaps.length);
  });
});

// The chosen game is remembered on this device where the browser lets the page keep it.
try {
  chooser.value = games[localStorage.getItem("tallyglass.game")] ? localStorage.getItem("tallyglass.game") : "tm2020";
} catch (e) { /* no storage here: Trackmania (2020) */ }
chooser.addEventListener("change", function () {
  try { localStorage.setItem("tallyglass.game", chooser.value); } catch (e) { /* not kept */ }
  jobs.forEach(ShowLimit);
  RefillRows();
});

StartWorker(slots[0]);
