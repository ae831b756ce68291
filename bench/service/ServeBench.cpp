// `calidorctl serve` as a whole process over two virtual thermostats: the
// latency of /metrics scrapes from many clients at once, the processor time
// the service takes at two intervals, its resident memory after many
// scrapes, and how fast one thermostat is read while its neighbour does not
// answer, against the same without the stall. Figures are printed; nothing
// is asserted (the machine is shared).
//
//   serve_bench [--clients N] [--scrapes N] [--cpu-seconds S] [--memory-scrapes N] [--stall-seconds S]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <curl/curl.h>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Service
{
    pid_t pid = -1;
    int port = 0;
};

// Starts serve on a free loopback port and waits for its listening line.
Service start(const char *interval)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    const char *argv[] = {CALIDORCTL_PATH, "--simulate", "serve",  "--listen",
                          "127.0.0.1:0",   "--interval", interval, nullptr};
    Service s;
    if (posix_spawn(&s.pid, CALIDORCTL_PATH, &actions, nullptr, const_cast<char **>(argv), environ) != 0)
        s.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    std::string said;
    char c;
    while (s.pid > 0 && said.find('\n') == std::string::npos && read(pipeFds[0], &c, 1) == 1)
        said += c;
    // Later lines are not needed, but read to the end, so the service never
    // writes into a closed pipe.
    std::thread([fd = pipeFds[0]] {
        char sink[512];
        while (read(fd, sink, sizeof sink) > 0) {
        }
        close(fd);
    }).detach();
    const auto at = said.find("http://127.0.0.1:");
    if (at != std::string::npos)
        s.port = std::atoi(said.c_str() + at + 17);
    return s;
}

void stop(const Service &s)
{
    if (s.pid <= 0)
        return;
    ::kill(s.pid, SIGTERM);
    int status = 0;
    waitpid(s.pid, &status, 0);
}

std::size_t discard(char *, std::size_t size, std::size_t count, void *)
{
    return size * count;
}

// One client: `scrapes` GETs of /metrics over one kept-alive connection;
// each latency in microseconds goes to `out`.
void client(int port, int scrapes, std::vector<double> *out, std::atomic<int> *failures)
{
    CURL *curl = curl_easy_init();
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/metrics";
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &discard);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 5000L);
    for (int i = 0; i < scrapes; ++i) {
        const auto begun = Clock::now();
        long status = 0;
        if (curl_easy_perform(curl) != CURLE_OK ||
            curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status != 200)
            ++*failures;
        out->push_back(std::chrono::duration<double, std::micro>(Clock::now() - begun).count());
    }
    curl_easy_cleanup(curl);
}

void scrapeLatency(int port, int clients, int scrapes)
{
    std::vector<std::vector<double>> each(static_cast<std::size_t>(clients));
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i)
        threads.emplace_back(client, port, scrapes / clients + (i < scrapes % clients ? 1 : 0),
                             &each[static_cast<std::size_t>(i)], &failures);
    for (std::thread &t : threads)
        t.join();
    std::vector<double> all;
    for (const auto &v : each)
        all.insert(all.end(), v.begin(), v.end());
    std::sort(all.begin(), all.end());
    if (all.empty())
        return;
    std::printf("scrape latency, %d clients, %zu scrapes: median %.2f ms, 99th percentile %.2f ms, "
                "max %.2f ms (target: 99th < 5 ms); %d failed\n",
                clients, all.size(), all[all.size() / 2] / 1000.0, all[all.size() * 99 / 100] / 1000.0,
                all.back() / 1000.0, failures.load());
}

double cpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos)
        return 0;
    // Fields after the name: state is field 3; utime and stime are 14 and 15.
    std::vector<std::string> fields;
    std::size_t at = close + 2;
    while (at < text.size()) {
        const auto end = text.find(' ', at);
        fields.push_back(text.substr(at, end - at));
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    if (fields.size() < 13)
        return 0;
    return static_cast<double>(std::stoll(fields[11]) + std::stoll(fields[12])) /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

long residentKb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

void cpuShare(const char *interval, int seconds, double targetPercent)
{
    const Service s = start(interval);
    if (s.port == 0) {
        std::fprintf(stderr, "serve_bench: serve did not start\n");
        return;
    }
    std::this_thread::sleep_for(std::chrono::seconds(2)); // past the start-up
    const double before = cpuSeconds(s.pid);
    const auto begun = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double used = cpuSeconds(s.pid) - before;
    const double wall = std::chrono::duration<double>(Clock::now() - begun).count();
    std::printf("CPU at --interval %s, two thermostats: %.3f s over %.1f s = %.3f %% of a core "
                "(target < %.2f %%)\n",
                interval, used, wall, 100.0 * used / wall, targetPercent);
    stop(s);
}

std::size_t keep(char *data, std::size_t size, std::size_t count, void *to)
{
    static_cast<std::string *>(to)->append(data, size * count);
    return size * count;
}

// calidor_reads_total of one thermostat, -1 when it cannot be had.
double readsTotal(int port, const std::string &id)
{
    CURL *curl = curl_easy_init();
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/metrics";
    std::string body;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &keep);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 5000L);
    const bool ok = curl_easy_perform(curl) == CURLE_OK;
    curl_easy_cleanup(curl);
    const std::string name = "calidor_reads_total{id=\"" + id + "\"} ";
    const auto at = body.find(name);
    return ok && at != std::string::npos ? std::atof(body.c_str() + at + name.size()) : -1;
}

// Reads a second of SIM0002 at --interval 100ms over `seconds`, its
// neighbour SIM0001 stuck in every read (2 s each) when `stalled`.
double healthyReadRate(bool stalled, int seconds)
{
    if (stalled)
        setenv("CALIDORCTL_SIMULATE_STALL", "SIM0001:0:86400000", 1);
    else
        unsetenv("CALIDORCTL_SIMULATE_STALL");
    const Service s = start("100ms");
    unsetenv("CALIDORCTL_SIMULATE_STALL");
    if (s.port == 0)
        return -1;
    std::this_thread::sleep_for(std::chrono::seconds(1)); // past the start-up
    const double before = readsTotal(s.port, "SIM0002");
    const auto begun = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double after = readsTotal(s.port, "SIM0002");
    const double wall = std::chrono::duration<double>(Clock::now() - begun).count();
    stop(s);
    return before < 0 || after < 0 ? -1 : (after - before) / wall;
}

// Alternated, three times each, so that the machine's load falls on both alike.
void stallRatio(int seconds)
{
    std::vector<double> free, stalled;
    for (int round = 0; round < 3; ++round) {
        free.push_back(healthyReadRate(false, seconds));
        stalled.push_back(healthyReadRate(true, seconds));
    }
    std::sort(free.begin(), free.end());
    std::sort(stalled.begin(), stalled.end());
    const double a = free[1], b = stalled[1];
    std::printf("healthy thermostat's reads/s at --interval 100ms: %.2f alone, %.2f beside a stalled one: "
                "ratio %.3f (medians of 3, %d s each; target >= 0.95)\n",
                a, b, a > 0 ? b / a : 0.0, seconds);
}

} // namespace

int main(int argc, char **argv)
{
    int clients = 32, scrapes = 10000, cpuSecondsEach = 60, memoryScrapes = 100000, stallSeconds = 10;
    for (int i = 1; i + 1 < argc; i += 2) {
        const int value = std::max(0, std::atoi(argv[i + 1]));
        if (!std::strcmp(argv[i], "--clients"))
            clients = std::max(1, value);
        else if (!std::strcmp(argv[i], "--scrapes"))
            scrapes = value;
        else if (!std::strcmp(argv[i], "--cpu-seconds"))
            cpuSecondsEach = value;
        else if (!std::strcmp(argv[i], "--memory-scrapes"))
            memoryScrapes = value;
        else if (!std::strcmp(argv[i], "--stall-seconds"))
            stallSeconds = value;
    }
    char folder[] = "/tmp/serve_bench.XXXXXX";
    if (!mkdtemp(folder))
        return 1;
    setenv("XDG_RUNTIME_DIR", folder, 1);
    setenv("CALIDORCTL_SIMULATE_THERMOSTATS", "2", 1);
    curl_global_init(CURL_GLOBAL_DEFAULT);

    const Service s = start("1s");
    if (s.port == 0) {
        std::fprintf(stderr, "serve_bench: serve did not start\n");
        return 1;
    }
    scrapeLatency(s.port, clients, scrapes);
    if (memoryScrapes > 0) {
        const long startKb = residentKb(s.pid);
        std::vector<std::vector<double>> ignored(4);
        std::atomic<int> failures{0};
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < ignored.size(); ++i)
            threads.emplace_back(client, s.port, memoryScrapes / 4, &ignored[i], &failures);
        for (std::thread &t : threads)
            t.join();
        const long endKb = residentKb(s.pid);
        std::printf("resident memory: %ld KB before, %ld KB after %d scrapes: %+ld KB (target < 1024 KB); "
                    "%d failed\n",
                    startKb, endKb, memoryScrapes, endKb - startKb, failures.load());
    }
    stop(s);
    if (cpuSecondsEach > 0) {
        cpuShare("1s", cpuSecondsEach, 0.1);
        cpuShare("100ms", cpuSecondsEach, 1.0);
    }
    if (stallSeconds > 0)
        stallRatio(stallSeconds);
    curl_global_cleanup();
    ::rmdir(folder);
    return 0;
}
