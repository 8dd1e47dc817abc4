// Times the tool against the floor program on each map, in the same run: runs alternate between the two so
// that a busy machine weighs on both alike. Prints, per map, the median wall time of each, the ratio
// tool/floor (and the ratio of the median CPU times), and each one's peak memory against C + U + 4 MiB.
//   bench_compare TOOL FLOOR MIN_RUNS MAX_RUNS MAP...
// Maps that take little time get more than MIN_RUNS runs, about two seconds' worth, up to MAX_RUNS.
// Exits 1 when a run fails: the floor exits non-zero, or the tool's report does not start with its heading or
// it writes to stderr.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const double kBudgetMs = 2000;

struct Sample {
    double wallMs;
    double cpuMs;
    long maxRssKiB;
};

struct ChildResult {
    bool ok;
    Sample sample;
};

double Now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double Ms(const timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3; }

// Runs `program map` with stdout and stderr going to the given descriptors (-1: /dev/null).
ChildResult Run(const char* program, const char* map, int out, int err) {
    const double start = Now();
    const pid_t pid = fork();
    if (pid < 0) return {false, {0, 0, 0}};
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(out >= 0 ? out : null, STDOUT_FILENO);
        dup2(err >= 0 ? err : null, STDERR_FILENO);
        execl(program, program, map, static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage;
    if (wait4(pid, &status, 0, &usage) != pid) return {false, {0, 0, 0}};
    const double wall = Now() - start;
    const bool exited = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return {exited, {wall, Ms(usage.ru_utime) + Ms(usage.ru_stime), usage.ru_maxrss}};
}

std::string ReadBack(FILE* file) {
    std::string text;
    rewind(file);
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    return text;
}

// One run of the tool with its output kept: the report must start with its heading and nothing may go to
// stderr. Returns the heading line.
bool CheckTool(const char* tool, const char* map, std::string* heading) {
    FILE* out = tmpfile();
    FILE* err = tmpfile();
    if (!out || !err) return false;
    const ChildResult result = Run(tool, map, fileno(out), fileno(err));
    const std::string report = ReadBack(out);
    const std::string errors = ReadBack(err);
    fclose(out);
    fclose(err);
    *heading = report.substr(0, report.find('\n'));
    if (!result.ok || !errors.empty() || heading->rfind("Number of embedded items: ", 0) != 0) {
        fprintf(stderr, "bench_compare: %s on %s: %s%s\n", tool, map, report.substr(0, 200).c_str(), errors.c_str());
        return false;
    }
    return true;
}

bool ReadSizes(const char* map, uint32_t* bodySize, uint32_t* compressedSize) {
    FILE* file = fopen(map, "rb");
    if (!file) return false;
    unsigned char header[17];
    bool ok = fread(header, 1, sizeof header, file) == sizeof header;
    const uint32_t userDataSize = static_cast<uint32_t>(header[13]) | static_cast<uint32_t>(header[14]) << 8 |
                                  static_cast<uint32_t>(header[15]) << 16 | static_cast<uint32_t>(header[16]) << 24;
    unsigned char sizes[8];
    ok = ok && fseek(file, static_cast<long>(userDataSize) + 8, SEEK_CUR) == 0 &&
         fread(sizes, 1, sizeof sizes, file) == sizeof sizes;
    fclose(file);
    if (!ok) return false;
    *bodySize = static_cast<uint32_t>(sizes[0]) | static_cast<uint32_t>(sizes[1]) << 8 |
                static_cast<uint32_t>(sizes[2]) << 16 | static_cast<uint32_t>(sizes[3]) << 24;
    *compressedSize = static_cast<uint32_t>(sizes[4]) | static_cast<uint32_t>(sizes[5]) << 8 |
                      static_cast<uint32_t>(sizes[6]) << 16 | static_cast<uint32_t>(sizes[7]) << 24;
    return true;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string HumanSize(double bytes) {
    char text[32];
    if (bytes >= 1024.0 * 1024.0) {
        snprintf(text, sizeof text, "%.1f MiB", bytes / (1024.0 * 1024.0));
    } else {
        snprintf(text, sizeof text, "%.1f KiB", bytes / 1024.0);
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        fprintf(stderr, "usage: bench_compare TOOL FLOOR MIN_RUNS MAX_RUNS MAP...\n");
        return 2;
    }
    const char* tool = argv[1];
    const char* floorProgram = argv[2];
    const int runs = atoi(argv[3]);
    const int maxRuns = atoi(argv[4]);
    if (runs < 1 || maxRuns < runs) return 2;

    printf("%-22s %10s %10s %4s %9s %9s %6s %6s %10s %10s %10s %s\n", "map", "U", "C", "runs", "floor ms",
           "tool ms", "ratio", "cpu", "floor rss", "tool rss", "C+U+4MiB", "goals");
    bool failed = false;
    for (int m = 5; m < argc; ++m) {
        const char* map = argv[m];
        uint32_t bodySize = 0, compressedSize = 0;
        std::string heading;
        const ChildResult warmUp = Run(floorProgram, map, -1, -1);
        if (!ReadSizes(map, &bodySize, &compressedSize) || !CheckTool(tool, map, &heading) || !warmUp.ok) {
            fprintf(stderr, "bench_compare: %s: a run failed\n", map);
            failed = true;
            continue;
        }
        // Short runs are at the mercy of the scheduler: take more of them, about two seconds' worth.
        const double wanted = kBudgetMs / std::max(warmUp.sample.wallMs, 0.01);
        const int mapRuns = std::max(runs, std::min(maxRuns, static_cast<int>(std::min(wanted, 1e6)) | 1));
        std::vector<double> floorWall, toolWall, floorCpu, toolCpu;
        long floorRss = 0, toolRss = 0;
        for (int run = 0; run < mapRuns; ++run) {
            const ChildResult f = Run(floorProgram, map, -1, -1);
            const ChildResult t = Run(tool, map, -1, -1);
            if (!f.ok || !t.ok) {
                failed = true;
                break;
            }
            floorWall.push_back(f.sample.wallMs);
            floorCpu.push_back(f.sample.cpuMs);
            toolWall.push_back(t.sample.wallMs);
            toolCpu.push_back(t.sample.cpuMs);
            floorRss = std::max(floorRss, f.sample.maxRssKiB);
            toolRss = std::max(toolRss, t.sample.maxRssKiB);
        }
        if (floorWall.empty()) continue;
        const double floorMs = Median(floorWall), toolMs = Median(toolWall);
        const double ratio = toolMs / floorMs;
        const double cpuRatio = Median(toolCpu) / Median(floorCpu);
        const double goal = static_cast<double>(bodySize) + static_cast<double>(compressedSize) + 4.0 * 1024 * 1024;
        const double toolBytes = static_cast<double>(toolRss) * 1024.0;
        const char* name = strrchr(map, '/') ? strrchr(map, '/') + 1 : map;
        printf("%-22s %10u %10u %4zu %9.2f %9.2f %6.3f %6.3f %10s %10s %10s %s%s\n", name, bodySize,
               compressedSize, floorWall.size(), floorMs, toolMs, ratio, cpuRatio, HumanSize(static_cast<double>(floorRss) * 1024.0).c_str(),
               HumanSize(toolBytes).c_str(), HumanSize(goal).c_str(), ratio <= 1.10 ? "ratio ok" : "RATIO OVER",
               toolBytes <= goal ? ", memory ok" : ", MEMORY OVER");
        fflush(stdout);
    }
    return failed ? 1 : 0;
}
