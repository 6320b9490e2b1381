// Launches start-up probes alternately and reports, per program, the median
// time from spawn to first window shown and the median peak RSS, then the
// ratio of the first program to the second.
//
//   bench_startup_runner RUNS NAME=PROGRAM NAME=PROGRAM
//
// Each PROGRAM is built with startup_probe.cpp, which prints "shown_ms=..."
// and exits once its first window has been painted. Peak RSS is the child's
// ru_maxrss from wait4(). One unrecorded warm-up run of each comes first so
// that both start from a warm file cache.

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>
#include "common.h"

extern char **environ;

using bench::median;

namespace {

struct Program {
    std::string name;
    std::string path;
    std::vector<double> shownMs;
    std::vector<double> rssMiB;
};

long long monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

bool runOnce(const Program &p, double &shownMs, double &rssMiB)
{
    int out[2];
    if (pipe(out) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);

    const long long start = monotonicNs();
    const std::string startArg = "--bench-start-ns=" + std::to_string(start);
    char *argv[] = {const_cast<char *>(p.path.c_str()), const_cast<char *>(startArg.c_str()), nullptr};
    pid_t pid = 0;
    const int err = posix_spawn(&pid, p.path.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (err != 0) {
        close(out[0]);
        std::fprintf(stderr, "cannot start %s: %s\n", p.path.c_str(), std::strerror(err));
        return false;
    }
    std::string text;
    char buf[256];
    ssize_t n;
    while ((n = read(out[0], buf, sizeof buf)) > 0)
        text.append(buf, size_t(n));
    close(out[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const auto at = text.find("shown_ms=");
    if (at == std::string::npos || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s did not report a shown window (status %d): %s\n", p.name.c_str(), status,
                     text.c_str());
        return false;
    }
    shownMs = std::atof(text.c_str() + at + 9);
    rssMiB = usage.ru_maxrss / 1024.0; // kB on Linux
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s RUNS NAME=PROGRAM NAME=PROGRAM\n", argv[0]);
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[1]));
    std::vector<Program> programs;
    for (int i = 2; i < argc; ++i) {
        const char *eq = std::strchr(argv[i], '=');
        if (!eq) {
            std::fprintf(stderr, "expected NAME=PROGRAM, got %s\n", argv[i]);
            return 2;
        }
        programs.push_back({std::string(argv[i], size_t(eq - argv[i])), std::string(eq + 1), {}, {}});
    }

    double ms, rss;
    for (const Program &p : programs)
        if (!runOnce(p, ms, rss))
            return 1;
    for (int r = 0; r < runs; ++r) {
        for (Program &p : programs) {
            if (!runOnce(p, ms, rss))
                return 1;
            p.shownMs.push_back(ms);
            p.rssMiB.push_back(rss);
        }
    }

    std::printf("%-10s %s\n", "program", "run: shown ms / peak RSS MiB");
    for (const Program &p : programs) {
        std::printf("%-10s", p.name.c_str());
        for (size_t i = 0; i < p.shownMs.size(); ++i)
            std::printf(" %.1f/%.1f", p.shownMs[i], p.rssMiB[i]);
        std::printf("\n");
    }
    std::printf("\n%-10s %14s %14s %14s %14s\n", "program", "median ms", "min ms", "max ms", "median RSS MiB");
    for (const Program &p : programs)
        std::printf("%-10s %14.1f %14.1f %14.1f %14.1f\n", p.name.c_str(), median(p.shownMs),
                    *std::min_element(p.shownMs.begin(), p.shownMs.end()),
                    *std::max_element(p.shownMs.begin(), p.shownMs.end()), median(p.rssMiB));
    const Program &a = programs[0];
    for (size_t i = 1; i < programs.size(); ++i) {
        const Program &b = programs[i];
        const double t = median(a.shownMs) / median(b.shownMs);
        const double m = median(a.rssMiB) / median(b.rssMiB);
        // The fastest run is the one least disturbed by other load on the
        // machine; shown beside the medians for that reason.
        const double fastest = *std::min_element(a.shownMs.begin(), a.shownMs.end())
            / *std::min_element(b.shownMs.begin(), b.shownMs.end());
        std::printf("\nratio %s/%s over %d runs: start-up %.2fx (fastest runs %.2fx), peak RSS %.2fx"
                    " (goal <= 1.30x): %s\n",
                    a.name.c_str(), b.name.c_str(), runs, t, fastest, m, (t <= 1.3 && m <= 1.3) ? "MET" : "NOT MET");
    }
    return 0;
}
