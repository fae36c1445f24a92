// Whole transfers through the runner beside the tools a user would pick
// instead, the same files from the same local nginx in the same run:
//
//   downloads (1, 64 and 256 MiB): curl -o /dev/null, curl -o FILE, Python's
//     urllib read() into memory, a Regina script that runs curl into a file
//     and reads it with CHARIN, and the runner's InetConnectUrl "DOWNLOAD";
//   an upload of 64 MiB from memory: curl -T FILE, Python's urllib PUT,
//     Regina writing the value out with CHAROUT for curl -T, and the
//     runner's InetConnectUrl "UPLOAD".
//
// Each command runs once per round, the rounds interleaved, so that a busy
// moment of the machine falls on all of them alike; the table gives medians:
// wall time as a multiple of curl's, and peak resident memory over the
// tool's own baseline (the same command on a 17-byte resource) as a
// multiple of the resource's size.
//
//   transfer_bench SERVERS_ENV WORK_DIR [ROUNDS]
//
// SERVERS_ENV is the servers.env that scripts/servers wrote; the files
// bench-SIZE.bin are in its HTTP root and WORK_DIR holds upload-SIZE.bin;
// scripts/bench makes them and runs this.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

extern char **environ;

namespace {

constexpr unsigned long long kMiB = 1024 * 1024;

struct Sample {
    double seconds = 0;
    double peakMiB = 0; // the child's maximum resident set, its own children included
};

std::string runner = HALVORIN_PATH;
std::string here = BENCH_DIR;

// Runs argv to its end, output to /dev/null; false when it fails.
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
    if (wait4(pid, &status, 0, &usage) != pid)
        return false;
    sample.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    sample.peakMiB = usage.ru_maxrss / 1024.0;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct Tool {
    std::string name;
    // The command for a transfer of `size` bytes (0: the baseline's tiny one).
    std::vector<std::string> (*command)(unsigned long long size);
};

std::string base;    // http://127.0.0.1:PORT
std::string work;    // scratch files
std::string uploads; // the server's upload folder

std::string Url(unsigned long long size)
{
    return size ? base + "/bench-" + std::to_string(size) + ".bin" : base + "/hello.txt";
}
std::string Target(const std::string &tool, unsigned long long size)
{
    return base + "/upload/" + tool + "-" + std::to_string(size) + ".bin";
}
std::string Source(unsigned long long size)
{
    return size ? work + "/upload-" + std::to_string(size) + ".bin" : work + "/upload-tiny.bin";
}

const char *kPythonGet = "import sys, urllib.request\n"
                         "data = urllib.request.urlopen(sys.argv[1]).read()\n"
                         "sys.exit(0 if int(sys.argv[2]) in (0, len(data)) else 2)\n";
const char *kPythonPut = "import sys, urllib.request\n"
                         "data = open(sys.argv[2], 'rb').read()\n"
                         "r = urllib.request.urlopen(urllib.request.Request(sys.argv[1], data=data, method='PUT'))\n"
                         "sys.exit(0 if r.status // 100 == 2 else 2)\n";

const std::vector<Tool> kDownloads = {
    {"curl -o /dev/null", [](unsigned long long size) -> std::vector<std::string> {
         return {"curl", "-s", "-f", "-o", "/dev/null", Url(size)};
     }},
    {"curl -o file", [](unsigned long long size) -> std::vector<std::string> {
         return {"curl", "-s", "-f", "-o", work + "/curl.out", Url(size)};
     }},
    {"python urllib read()", [](unsigned long long size) -> std::vector<std::string> {
         return {"python3", "-c", kPythonGet, Url(size), std::to_string(size)};
     }},
    {"regina + curl + charin", [](unsigned long long size) -> std::vector<std::string> {
         return {"regina", here + "/peer_download.rex", Url(size) + " " + std::to_string(size) + " " + work + "/peer.out"};
     }},
    {"halvorin (brevanto)", [](unsigned long long size) -> std::vector<std::string> {
         return {runner, here + "/download.rex", Url(size) + " " + std::to_string(size)};
     }},
};

const std::vector<Tool> kUploads = {
    {"curl -T", [](unsigned long long size) -> std::vector<std::string> {
         return {"curl", "-s", "-f", "-o", "/dev/null", "-T", Source(size), Target("curl", size)};
     }},
    {"python urllib PUT", [](unsigned long long size) -> std::vector<std::string> {
         return {"python3", "-c", kPythonPut, Target("python", size), Source(size)};
     }},
    {"regina + charout + curl -T", [](unsigned long long size) -> std::vector<std::string> {
         return {"regina", here + "/peer_upload.rex",
                 Target("regina", size) + " " + Source(size) + " " + work + "/peer.up"};
     }},
    {"halvorin (brevanto)", [](unsigned long long size) -> std::vector<std::string> {
         return {runner, here + "/upload.rex", Target("halvorin", size) + " " + Source(size)};
     }},
};

// An upload arrived whole.
bool Arrived(const std::string &tool, unsigned long long size)
{
    struct stat st {};
    std::string path = uploads + "/" + tool + "-" + std::to_string(size) + ".bin";
    bool whole = stat(path.c_str(), &st) == 0 && static_cast<unsigned long long>(st.st_size) == size;
    unlink(path.c_str());
    return whole;
}

std::map<std::string, std::vector<Sample>> samples;

std::string Key(const std::string &kind, const std::string &tool, unsigned long long size)
{
    return kind + "|" + tool + "|" + std::to_string(size);
}

double Median(const std::string &key, double Sample::*field)
{
    std::vector<double> v;
    for (const Sample &s : samples[key])
        v.push_back(s.*field);
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

bool Measure(const std::string &kind, const Tool &tool, unsigned long long size)
{
    Sample s;
    bool ok = Run(tool.command(size), s);
    if (ok && kind == "up" && size) {
        std::string stem = tool.name.substr(0, tool.name.find_first_of(" ("));
        ok = Arrived(stem, size);
    }
    if (!ok) {
        std::fprintf(stderr, "%s of %llu bytes failed with %s\n", kind == "up" ? "upload" : "download", size,
                     tool.name.c_str());
        return false;
    }
    samples[Key(kind, tool.name, size)].push_back(s);
    return true;
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

std::string SizeName(unsigned long long size) { return std::to_string(size / kMiB) + " MiB"; }

// One block of the table; returns the runner's (time ratio, memory ratio) per size.
std::vector<std::pair<double, double>> Table(const char *title, const std::string &kind,
                                             const std::vector<Tool> &tools,
                                             const std::vector<unsigned long long> &sizes)
{
    std::vector<std::pair<double, double>> ours;
    std::printf("\n%s\n\n", title);
    std::printf("| size | tool | time s | x %s | peak MiB | memory x size |\n", tools[0].name.c_str());
    std::printf("|---|---|---:|---:|---:|---:|\n");
    for (unsigned long long size : sizes) {
        double reference = Median(Key(kind, tools[0].name, size), &Sample::seconds);
        for (const Tool &tool : tools) {
            double time = Median(Key(kind, tool.name, size), &Sample::seconds);
            double peak = Median(Key(kind, tool.name, size), &Sample::peakMiB);
            double baseline = Median(Key(kind, tool.name, 0), &Sample::peakMiB);
            double memory = (peak - baseline) / (double(size) / kMiB);
            if (memory < 0.005) // at or below the baseline: none, and no "-0.00"
                memory = 0;
            double ratio = reference > 0 ? time / reference : 0;
            std::printf("| %s | %s | %.3f | %.2f | %.1f | %.2f |\n", SizeName(size).c_str(), tool.name.c_str(), time,
                        ratio, peak, memory);
            if (&tool == &tools.back())
                ours.emplace_back(ratio, memory);
        }
    }
    return ours;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SERVERS_ENV WORK_DIR [ROUNDS]\n", argv[0]);
        return 2;
    }
    std::map<std::string, std::string> env = ReadEnv(argv[1]);
    if (env["HTTP_PORT"].empty() || env["HTTP_UPLOAD_DIR"].empty()) {
        std::fprintf(stderr, "%s names no HTTP_PORT or HTTP_UPLOAD_DIR\n", argv[1]);
        return 2;
    }
    base = "http://127.0.0.1:" + env["HTTP_PORT"];
    uploads = env["HTTP_UPLOAD_DIR"];
    work = argv[2];
    int rounds = argc > 3 ? std::atoi(argv[3]) : 7;
    if (rounds < 1)
        rounds = 1;

    const std::vector<unsigned long long> downloads = {1 * kMiB, 64 * kMiB, 256 * kMiB};
    const std::vector<unsigned long long> ups = {64 * kMiB};
    for (int round = 0; round < rounds; ++round) {
        std::fprintf(stderr, "round %d of %d\n", round + 1, rounds);
        for (unsigned long long size : {0ull, 1 * kMiB, 64 * kMiB, 256 * kMiB})
            for (const Tool &tool : kDownloads)
                if (!Measure("down", tool, size))
                    return 1;
        for (unsigned long long size : {0ull, 64 * kMiB})
            for (const Tool &tool : kUploads)
                if (!Measure("up", tool, size))
                    return 1;
    }

    std::printf("Medians of %d interleaved rounds. Memory: peak resident set over the same tool's baseline "
                "(a 17-byte transfer), per byte of the resource.\n",
                rounds);
    auto down = Table("Downloads", "down", kDownloads, downloads);
    auto up = Table("Upload from memory", "up", kUploads, ups);

    // The aims: time within 2 x curl at 1 MiB and 2.5 x from 64 MiB; memory within 2.1 x the resource.
    bool ok = down[0].first <= 2.0 && up[0].first <= 2.5;
    for (size_t i = 1; i < down.size(); ++i)
        ok = ok && down[i].first <= 2.5 && down[i].second <= 2.1;
    std::printf("\nThe runner is %s the aims (time <= 2 x curl at 1 MiB, <= 2.5 x from 64 MiB and for the "
                "upload; memory <= 2.1 x the resource from 64 MiB).\n",
                ok ? "within" : "OUTSIDE");
    return 0;
}
