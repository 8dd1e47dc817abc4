// Times the tool against the floor program on each map, alternately, so that a busy machine weighs on both alike
// (bench/README.md); with --many, one process of the tool over all the maps against one process per map; with
// --files, the tool on one map with and without --files; with --versus, one process of an earlier build of the
// tool and one of this build over all the maps with --json --files. Exits 1 when a run fails.
//   bench_compare TOOL FLOOR MIN_RUNS MAX_RUNS MAP...
//   bench_compare --many TOOL RUNS MAP...
//   bench_compare --files TOOL RUNS MAP
//   bench_compare --versus EARLIER_TOOL TOOL RUNS MAP...
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "map_file.h"

namespace {

struct Sample {
    bool ok;
    double wallMs, cpuMs, peakMiB;
};

double Ms(const timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3; }

// Runs `program` with the arguments `args`, its output going nowhere.
Sample Run(char* const* args) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int nowhere = open("/dev/null", O_WRONLY);
        dup2(nowhere, STDOUT_FILENO);
        dup2(nowhere, STDERR_FILENO);
        execv(args[0], args);
        _exit(127);
    }
    int status = 0;
    rusage usage;
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return {false, 0, 0, 0};
    const double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    // 1 is also a map with findings, which a hostile archive's map has.
    return {WIFEXITED(status) && WEXITSTATUS(status) <= 1, wall, Ms(usage.ru_utime) + Ms(usage.ru_stime),
            static_cast<double>(usage.ru_maxrss) / 1024};
}

Sample Run(char* program, char* map) {
    char* const args[] = {program, map, nullptr};
    return Run(args);
}

bool ReadSizes(const char* map, MapSizes* sizes) {
    Bytes head(65536);  // enough for a map's header
    FILE* file = fopen(map, "rb");
    head.resize(file ? fread(head.data(), 1, head.size(), file) : 0);
    if (file) fclose(file);
    return ReadMapSizes(head, sizes);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

char jsonOption[] = "--json";
char filesOption[] = "--files";

// One process over every map against a process per map, alternately: medians of `runs` runs of each, and
// the peak memory of the one process against that of the largest single run. The one process also runs with
// --json, whose cost is set against the text report's, and with --json --files, set against --json's.
int CompareMany(char** argv, int argc) {
    const int runs = atoi(argv[3]);
    if (runs < 1 || argc < 5) return 2;
    std::vector<char*> all = {argv[2]};
    all.insert(all.end(), argv + 4, argv + argc);
    all.push_back(nullptr);
    std::vector<char*> json = all;
    json.insert(json.begin() + 1, jsonOption);
    std::vector<char*> files = json;
    files.insert(files.begin() + 1, filesOption);
    std::vector<double> oneWall, jsonWall, filesWall, manyWall;
    double onePeak = 0, manyPeak = 0;
    for (int run = 0; run < runs; ++run) {
        const Sample one = Run(all.data()), lines = Run(json.data()), listed = Run(files.data());
        if (!one.ok || !lines.ok || !listed.ok) return 1;
        oneWall.push_back(one.wallMs), onePeak = std::max(onePeak, one.peakMiB);
        jsonWall.push_back(lines.wallMs), filesWall.push_back(listed.wallMs);
        double total = 0;
        for (int m = 4; m < argc; ++m) {
            const Sample alone = Run(argv[2], argv[m]);
            if (!alone.ok) return 1;
            total += alone.wallMs, manyPeak = std::max(manyPeak, alone.peakMiB);
        }
        manyWall.push_back(total);
    }
    printf("%d maps, medians of %d runs: one process %.1f ms, one process per map %.1f ms, %.1f times faster;"
           " peak %.1f MiB against %.1f MiB for the largest map alone\n",
           argc - 4, runs, Median(oneWall), Median(manyWall), Median(manyWall) / Median(oneWall), onePeak, manyPeak);
    printf("one process with --json %.1f ms: %.3f times the text report's; with --json --files %.1f ms: %.3f times"
           " --json's\n", Median(jsonWall), Median(jsonWall) / Median(oneWall), Median(filesWall),
           Median(filesWall) / Median(jsonWall));
    return 0;
}

// The tool on one map without and with --files, alternately: medians of `runs` runs of each and the peaks.
int CompareFiles(char** argv, int argc) {
    const int runs = argc == 5 ? atoi(argv[3]) : 0;
    if (runs < 1) return 2;
    char* const plain[] = {argv[2], argv[4], nullptr};
    char* const listed[] = {argv[2], filesOption, argv[4], nullptr};
    std::vector<double> plainWall, listedWall;
    double plainPeak = 0, listedPeak = 0;
    for (int run = 0; run < runs; ++run) {
        const Sample a = Run(plain), b = Run(listed);
        if (!a.ok || !b.ok) return 1;
        plainWall.push_back(a.wallMs), plainPeak = std::max(plainPeak, a.peakMiB);
        listedWall.push_back(b.wallMs), listedPeak = std::max(listedPeak, b.peakMiB);
    }
    printf("%s, medians of %d runs: %.1f ms, peak %.1f MiB; with --files %.1f ms, peak %.1f MiB\n", argv[4], runs,
           Median(plainWall), plainPeak, Median(listedWall), listedPeak);
    return 0;
}

// An earlier build and this one, each in one process over every map with --json --files, alternately: medians
// of `runs` runs of each, and their peaks.
int CompareVersus(char** argv, int argc) {
    const int runs = argc >= 6 ? atoi(argv[4]) : 0;
    if (runs < 1) return 2;
    std::vector<char*> earlier = {argv[2], jsonOption, filesOption};
    earlier.insert(earlier.end(), argv + 5, argv + argc);
    earlier.push_back(nullptr);
    std::vector<char*> now = earlier;
    now[0] = argv[3];
    std::vector<double> earlierWall, nowWall;
    double earlierPeak = 0, nowPeak = 0;
    for (int run = 0; run < runs; ++run) {
        const Sample a = Run(earlier.data()), b = Run(now.data());
        if (!a.ok || !b.ok) return 1;
        earlierWall.push_back(a.wallMs), earlierPeak = std::max(earlierPeak, a.peakMiB);
        nowWall.push_back(b.wallMs), nowPeak = std::max(nowPeak, b.peakMiB);
    }
    printf("%d maps with --json --files, medians of %d runs: earlier %.1f ms, peak %.1f MiB; this build %.1f ms,"
           " peak %.1f MiB: %.3f times the earlier\n", argc - 5, runs, Median(earlierWall), earlierPeak,
           Median(nowWall), nowPeak, Median(nowWall) / Median(earlierWall));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "--versus") {
        const int result = CompareVersus(argv, argc);
        if (result == 2) fprintf(stderr, "usage: bench_compare --versus EARLIER_TOOL TOOL RUNS MAP...\n");
        if (result == 1) fprintf(stderr, "bench_compare: a run failed\n");
        return result;
    }
    const bool many = argc >= 2 && std::string(argv[1]) == "--many";
    if (many || (argc >= 2 && std::string(argv[1]) == "--files")) {
        const int result = many ? CompareMany(argv, argc) : CompareFiles(argv, argc);
        if (result == 2) fprintf(stderr, "usage: bench_compare --many TOOL RUNS MAP... | --files TOOL RUNS MAP\n");
        if (result == 1) fprintf(stderr, "bench_compare: a run failed\n");
        return result;
    }
    const int runs = argc >= 6 ? atoi(argv[3]) : 0, maxRuns = argc >= 6 ? atoi(argv[4]) : 0;
    if (runs < 1 || maxRuns < runs) {
        fprintf(stderr, "usage: bench_compare TOOL FLOOR MIN_RUNS MAX_RUNS MAP...\n");
        return 2;
    }
    printf("%-20s %10s %10s %4s %9s %9s %6s %6s %9s %9s %9s\n", "map", "U", "C", "runs", "floor ms", "tool ms", "ratio",
           "cpu", "floor MiB", "tool MiB", "C+U+4MiB");
    bool failed = false;
    for (int m = 5; m < argc && !failed; ++m) {
        MapSizes sizes;
        const Sample warmUp = Run(argv[2], argv[m]);
        failed = !ReadSizes(argv[m], &sizes) || !warmUp.ok;
        // Short runs are at the mercy of the scheduler: take more of them, about two seconds' worth.
        const int wanted = static_cast<int>(std::min(2000 / std::max(warmUp.wallMs, 0.01), 1e6)) | 1;
        std::vector<double> floorWall, toolWall, floorCpu, toolCpu;
        double floorPeak = 0, toolPeak = 0;
        for (int run = 0; run < std::max(runs, std::min(maxRuns, wanted)) && !failed; ++run) {
            const Sample f = Run(argv[2], argv[m]), t = Run(argv[1], argv[m]);
            failed = !f.ok || !t.ok;
            floorWall.push_back(f.wallMs), floorCpu.push_back(f.cpuMs), floorPeak = std::max(floorPeak, f.peakMiB);
            toolWall.push_back(t.wallMs), toolCpu.push_back(t.cpuMs), toolPeak = std::max(toolPeak, t.peakMiB);
        }
        if (failed) break;
        const double ratio = Median(toolWall) / Median(floorWall);
        const double goal = (static_cast<double>(sizes.bodySize) + sizes.compressedSize) / (1024 * 1024) + 4;
        printf("%-20s %10u %10u %4zu %9.2f %9.2f %6.3f %6.3f %9.1f %9.1f %9.1f %s, %s\n",
               std::string(argv[m]).substr(std::string(argv[m]).rfind('/') + 1).c_str(), sizes.bodySize,
               sizes.compressedSize, toolWall.size(), Median(floorWall), Median(toolWall), ratio,
               Median(toolCpu) / Median(floorCpu), floorPeak, toolPeak, goal, ratio <= 1.10 ? "ratio ok" : "RATIO OVER",
               toolPeak <= goal ? "memory ok" : "MEMORY OVER");
        fflush(stdout);
    }
    if (failed) fprintf(stderr, "bench_compare: a run failed\n");
    return failed ? 1 : 0;
}
