// Runs one command and reports its whole life: wall time from spawn to exit, and the peak
// resident memory the kernel recorded for it.
//
// bench_spawn PROGRAM [ARGS...]   prints: ms=<n> maxrss_kb=<n> exit=<n>

#include <cstdio>
#include <ctime>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace {
double nowMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}
} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_spawn PROGRAM [ARGS...]\n");
        return 2;
    }
    const double start = nowMs();
    pid_t child = 0;
    if (posix_spawnp(&child, argv[1], nullptr, nullptr, argv + 1, environ) != 0) {
        std::perror("bench_spawn");
        return 2;
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) < 0) {
        std::perror("bench_spawn");
        return 2;
    }
    const double elapsed = nowMs() - start;
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::printf("ms=%.1f maxrss_kb=%ld exit=%d\n", elapsed, usage.ru_maxrss, code);
    return code == 0 ? 0 : 1;
}
