// The embedded files' reader over arbitrary archive bytes: libzip opening the archive and inflating what may
// be inflated, and the findings drawn from what it lists. Aborts when a rule of the reader is broken: the
// packed total is the sum of the files whose packed bytes the archive holds and never more than the archive,
// every finding names a listed file (or none, for the whole archive), and an archive that cannot be read
// lists nothing.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "embedded_files.h"

namespace {

void Broken(const char* rule) {
    fprintf(stderr, "rule broken: %s\n", rule);
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy: the fuzzer's own buffer may have room behind it that the sanitizer cannot see.
    std::unique_ptr<unsigned char[]> archive(new unsigned char[size > 0 ? size : 1]);
    if (size > 0) memcpy(archive.get(), data, size);
    EmbeddedFiles files = {};
    const bool listed = ReadArchive(archive.get(), size, InflateBudget(size), &files);
    if (!listed && !files.files.empty()) Broken("an archive that cannot be read lists files");
    uint64_t held = 0;
    for (size_t i = 0; i < files.files.size(); ++i) {
        const EmbeddedFile& file = files.files[i];
        bool outside = false;
        for (const Finding& finding : files.findings) {
            outside = outside || ((finding.kind == FindingKind::kOutsideArchive || finding.kind == FindingKind::kOverlapping) &&
                                  finding.name == file.name);
        }
        if (!outside) held += file.packedSize;
    }
    if (files.packedTotal > size) Broken("the packed total is more than the archive");
    for (const Finding& finding : files.findings) {
        bool named = false;
        for (const EmbeddedFile& file : files.files) named = named || file.name == finding.name;
        if (ConcernsArchive(finding.kind) ? !finding.name.empty() : !named) Broken("a finding names no file");
    }
    // Entries may share a name, one held and one not: only then may the sum by name differ.
    bool shared = false;
    for (const Finding& finding : files.findings) shared = shared || finding.kind == FindingKind::kDuplicate;
    if (!shared && held != files.packedTotal) Broken("the packed total is not the sum of the files the archive holds");
    return 0;
}
