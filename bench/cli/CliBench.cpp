// calidorctl as a whole process, the way scripts and services run it:
// the median wall time of `calidorctl --simulate read`, and the processor
// time `watch --interval 1s` takes over a minute.
//
//   cli_bench [--read-runs N] [--watch-seconds S]   (S = 0 skips the watch)
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

// Starts calidorctl with its output thrown away; -1 on failure.
pid_t spawn(const std::vector<const char *> &arguments)
{
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(CALIDORCTL_PATH));
    for (const char *a : arguments)
        argv.push_back(const_cast<char *>(a));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, CALIDORCTL_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : pid;
}

double seconds(const timeval &t)
{
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

int readMedian(int runs)
{
    std::vector<double> ms;
    std::vector<double> cpuMs;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        const pid_t pid = spawn({"--simulate", "read"});
        int status = 0;
        rusage usage{};
        if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "cli_bench: calidorctl --simulate read failed\n");
            return 1;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        cpuMs.push_back(1000.0 * (seconds(usage.ru_utime) + seconds(usage.ru_stime)));
    }
    std::sort(ms.begin(), ms.end());
    std::sort(cpuMs.begin(), cpuMs.end());
    std::printf("read: median %.1f ms wall over %d runs (min %.1f, max %.1f; target < 30 ms), "
                "median %.1f ms of processor time\n",
                ms[ms.size() / 2], runs, ms.front(), ms.back(), cpuMs[cpuMs.size() / 2]);
    return 0;
}

int watchCpu(int watchSeconds)
{
    const auto start = Clock::now();
    const pid_t pid = spawn({"--simulate", "watch", "--interval", "1s", "--format", "csv"});
    if (pid < 0) {
        std::fprintf(stderr, "cli_bench: cannot start calidorctl watch\n");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(watchSeconds));
    ::kill(pid, SIGTERM);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "cli_bench: calidorctl watch did not end cleanly on SIGTERM\n");
        return 1;
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    std::printf("watch --interval 1s: %.3f s of processor time over %.1f s = %.3f %% of one core "
                "(target < 0.1 %%)\n",
                cpu, wall, 100.0 * cpu / wall);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    int readRuns = 30;
    int watchSeconds = 60;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--read-runs") == 0)
            readRuns = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--watch-seconds") == 0)
            watchSeconds = std::max(0, std::atoi(argv[i + 1]));
    }
    // Its own runtime folder: the simulated thermostat's kept settings stay apart.
    char folder[] = "/tmp/cli_bench.XXXXXX";
    if (!mkdtemp(folder))
        return 1;
    setenv("XDG_RUNTIME_DIR", folder, 1);
    setenv("XDG_STATE_HOME", folder, 1);

    int failed = readMedian(readRuns);
    if (!failed && watchSeconds > 0)
        failed = watchCpu(watchSeconds);
    std::string cleanup = std::string(folder) + "/calidorctl-simulate.state";
    ::unlink(cleanup.c_str());
    ::rmdir(folder);
    return failed;
}
