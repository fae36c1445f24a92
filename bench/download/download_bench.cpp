// InetConnectUrl "DOWNLOAD" through the runner beside curl's command line,
// the same files from the same local nginx in the same run: wall time and
// peak memory, then the ratios to curl.
//
//   download_bench SERVERS_ENV [benchmark flags]
//
// SERVERS_ENV is the servers.env that scripts/servers wrote; scripts/bench
// starts the servers, makes the files and runs this.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <spawn.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

extern char **environ;

namespace {

struct Sample {
    double seconds;
    double peakMiB; // maximum resident set of the child
};

std::map<std::string, std::vector<Sample>> samples;
std::string runner = HALVORIN_PATH;
std::string script = DOWNLOAD_REX;
std::string baseUrl;

// Runs argv to its end; false when it fails.
bool Run(const std::vector<std::string> &argv, Sample &sample)
{
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    auto start = std::chrono::steady_clock::now();
    pid_t pid;
    int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return false;
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    sample.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    sample.peakMiB = usage.ru_maxrss / 1024.0;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> Command(const std::string &tool, size_t size)
{
    std::string url = baseUrl + "/bench-" + std::to_string(size) + ".bin";
    if (tool == "curl")
        return {"curl", "-s", "-f", "-o", "/dev/null", url};
    if (tool == "baseline") // the runner, the library and a session, with a tiny download
        return {runner, script, baseUrl + "/hello.txt", "0"};
    return {runner, script, url, std::to_string(size)};
}

void Download(benchmark::State &state, std::string tool, size_t size)
{
    std::string key = tool + "/" + std::to_string(size);
    for (auto _ : state) {
        Sample s{};
        if (!Run(Command(tool, size), s)) {
            state.SkipWithError("the command failed");
            return;
        }
        state.SetIterationTime(s.seconds);
        samples[key].push_back(s);
    }
    state.counters["peak_MiB"] = samples[key].back().peakMiB;
    if (tool != "baseline")
        state.SetBytesProcessed((int64_t)(state.iterations() * size));
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double Median(const std::string &key, double Sample::*field)
{
    std::vector<double> v;
    for (const Sample &s : samples[key])
        v.push_back(s.*field);
    return Median(v);
}

std::map<std::string, std::string> ReadEnv(const char *path)
{
    std::map<std::string, std::string> env;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        size_t eq = line.find('=');
        if (eq != std::string::npos)
            env[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return env;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s SERVERS_ENV [benchmark flags]\n", argv[0]);
        return 2;
    }
    std::map<std::string, std::string> env = ReadEnv(argv[1]);
    if (env["HTTP_PORT"].empty()) {
        std::fprintf(stderr, "%s names no HTTP_PORT\n", argv[1]);
        return 2;
    }
    baseUrl = "http://127.0.0.1:" + env["HTTP_PORT"];
    argv[1] = argv[0];
    argc--;
    argv++;

    const size_t MiB = 1024 * 1024;
    const std::vector<size_t> sizes = {1 * MiB, 64 * MiB, 256 * MiB};
    benchmark::RegisterBenchmark("baseline", Download, std::string("baseline"), size_t(0))
        ->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
    for (size_t size : sizes) {
        int iterations = size >= 64 * MiB ? 5 : 20;
        for (const char *tool : {"curl", "halvorin"})
            benchmark::RegisterBenchmark((std::string(tool) + "/" + std::to_string(size / MiB) + "MiB").c_str(),
                                         Download, std::string(tool), size)
                ->UseManualTime()->Iterations(iterations)->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    double baseline = Median("baseline/0", &Sample::peakMiB);
    std::printf("\nRatios to curl (medians; memory is the runner's peak over its baseline of %.1f MiB,"
                " per byte of the resource)\n",
                baseline);
    std::printf("%-8s %12s %12s %10s %14s\n", "size", "curl s", "halvorin s", "time x", "memory x size");
    bool ok = true;
    for (size_t size : sizes) {
        double curl = Median("curl/" + std::to_string(size), &Sample::seconds);
        double ours = Median("halvorin/" + std::to_string(size), &Sample::seconds);
        double peak = Median("halvorin/" + std::to_string(size), &Sample::peakMiB);
        double memory = (peak - baseline) / (double(size) / MiB);
        std::printf("%-8s %12.3f %12.3f %10.2f %14.2f\n", (std::to_string(size / MiB) + "MiB").c_str(), curl, ours,
                    curl > 0 ? ours / curl : 0, memory);
        if (size >= 64 * MiB && (ours > 1.5 * curl || memory > 2.2))
            ok = false;
    }
    std::printf("%s\n", ok ? "within the aims (time <= 1.5 x curl, memory <= 2.2 x size at 64 MiB and up)"
                           : "OUTSIDE the aims (time <= 1.5 x curl, memory <= 2.2 x size at 64 MiB and up)");
    return 0;
}
