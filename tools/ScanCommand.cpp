#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iomanip>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tools/RecordingScan.h"
#include "tools/Commands.h"
#include "tools/EventCsv.h"
#include "tools/ToolInput.h"

// sonotrap-tool scan: a Record run over recordings instead of a microphone, one run per input
// file, several at once.
namespace sonotrap::tool {

namespace fs = std::filesystem;

namespace {

struct ScanArguments {
    std::vector<std::string> inputs;
    std::string out = ".";
    std::string format = "mp3";
    double threshold = 60.0;
    int32_t minFreq = 16;
    int32_t maxFreq = 16000;
    std::string sizeLimit = "on";
    std::string peakLog = "on";
    std::string start;
    double paceMs = 0.0;
    unsigned jobs = 0;  // 0: one per core
    std::string shard;
    std::string events;
};

// One file to scan and the directory its recordings and log go to.
struct ScanInput {
    std::string path;
    std::string out;
};

struct InputOutcome {
    bool read = false;  // the file could be read
    bool ok = false;    // and its run finished with every recording written
    ScanResult result;
    std::vector<EventRow> events;
};

bool ParseStart(const std::string& text, std::time_t* start) {
    if (text.empty()) {
        *start = std::time(nullptr);
        return true;
    }
    std::tm tm{};
    std::istringstream in(text);
    in >> std::get_time(&tm, "%Y-%m-%dT%H:%M:%S");
    if (in.fail() || in.peek() != std::char_traits<char>::eof()) return false;
    tm.tm_isdst = -1;
    *start = std::mktime(&tm);
    return *start != static_cast<std::time_t>(-1);
}

// "K/N" with 1 <= K <= N; empty means the whole list.
bool ParseShard(const std::string& text, size_t* k, size_t* n) {
    *k = *n = 1;
    if (text.empty()) return true;
    char slash = 0;
    long long a = 0, b = 0;
    std::istringstream in(text);
    in >> a >> slash >> b;
    if (in.fail() || slash != '/' || in.peek() != std::char_traits<char>::eof() || b < 1 || a < 1 || a > b)
        return false;
    *k = static_cast<size_t>(a);
    *n = static_cast<size_t>(b);
    return true;
}

bool IsAudioName(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".wav" || ext == ".mp3";
}

// Every input, sorted by path: files as given, WAV and MP3 files found under directories. Each
// gets an output directory named after it (its path below the directory given, without the
// extension; a name taken by an earlier input gets "-2", "-3", ...), or --out itself when the
// command line names one file. The same list comes out for every shard of a job array.
bool CollectInputs(const ScanArguments& a, std::vector<ScanInput>* inputs, bool* single) {
    std::vector<std::pair<std::string, std::string>> found;  // path, name for its directory
    for (const std::string& arg : a.inputs) {
        std::error_code ec;
        if (fs::is_directory(arg, ec)) {
            for (auto it = fs::recursive_directory_iterator(arg, fs::directory_options::skip_permission_denied, ec);
                 !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
                if (!it->is_regular_file(ec) || !IsAudioName(it->path())) continue;
                const fs::path relative = it->path().lexically_relative(arg);
                found.emplace_back(it->path().string(), (relative.parent_path() / relative.stem()).string());
            }
            if (ec) {
                std::fprintf(stderr, "sonotrap-tool scan: cannot list '%s': %s\n", arg.c_str(), ec.message().c_str());
                return false;
            }
        } else if (fs::exists(arg, ec)) {
            found.emplace_back(arg, fs::path(arg).stem().string());
        } else {
            std::fprintf(stderr, "sonotrap-tool scan: cannot open '%s'\n", arg.c_str());
            return false;
        }
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    *single = a.inputs.size() == 1 && found.size() == 1 && !fs::is_directory(a.inputs[0]);
    std::map<std::string, int> taken;
    for (const auto& [path, name] : found) {
        const int uses = ++taken[name];
        const std::string dir = uses == 1 ? name : name + "-" + std::to_string(uses);
        inputs->push_back({path, *single ? a.out : (fs::path(a.out) / dir).string()});
    }
    return true;
}

// A bar on the terminal, redrawn in place; nothing when stderr is not a terminal.
void ShowProgress(uint64_t done, uint64_t total) {
    constexpr int kWidth = 40;
    const double part = total ? static_cast<double>(done) / static_cast<double>(total) : 1.0;
    const int filled = static_cast<int>(part * kWidth);
    std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(kWidth - filled), ' ').c_str(), static_cast<int>(part * 100.0));
    if (done >= total) std::fprintf(stderr, "\n");
    std::fflush(stderr);
}

void PrintSummary(const std::string& what, uint64_t blocks, const RecorderTotals& t) {
    std::printf("Scanned %s: %llu blocks (%.3f s)\n", what.c_str(), static_cast<unsigned long long>(blocks),
                static_cast<double>(blocks) * 0.072);
    std::printf("Triggering blocks: %u\n", t.triggeringBlocks);
    std::printf("Groups: %u\n", t.groups);
    std::printf("Files: %zu\n", t.files.size());
    for (const std::string& f : t.files) std::printf("  %s\n", f.c_str());
    std::printf("Seconds kept: %.3f\n", static_cast<double>(t.blocksKept) * 0.072);
}

// One input's run; failures go to stderr as one line naming the input.
InputOutcome ScanOne(const ScanInput& input, ScanOptions options, bool showBlocks) {
    InputOutcome outcome;
    auto stream = std::make_shared<MonoStream>();
    std::string error;
    if (!stream->Open(input.path, &error)) {
        std::fprintf(stderr, "sonotrap-tool scan: %s\n", error.c_str());
        return outcome;
    }
    std::error_code ec;
    fs::create_directories(input.out, ec);
    if (!fs::is_directory(input.out, ec)) {
        std::fprintf(stderr, "sonotrap-tool scan: %s: cannot use '%s' as the output directory\n", input.path.c_str(),
                     input.out.c_str());
        return outcome;
    }
    outcome.read = true;
    options.outputDirectory = input.out;
    if (showBlocks) options.progress = ShowProgress;
    const auto start = std::chrono::system_clock::from_time_t(options.start);
    options.groupReport = [&outcome, &input, start](const GroupReport& g) {
        EventRow row = MakeEventRow(g, start + std::chrono::milliseconds(g.firstBlock * 72));
        row.input = input.path;
        outcome.events.push_back(std::move(row));
    };
    const uint64_t samples = stream->TotalSamples();
    outcome.result = ScanRecording([stream](int16_t* out, size_t count) { return stream->Read(out, count); },
                                   samples, options);
    if (!outcome.result.failure.empty()) {
        std::fprintf(stderr, "sonotrap-tool scan: %s: %s\n", input.path.c_str(), outcome.result.failure.c_str());
        return outcome;
    }
    outcome.ok = true;
    return outcome;
}

int RunScan(const ScanArguments& a) {
    ScanOptions options;
    if (!ParseStart(a.start, &options.start)) {
        std::fprintf(stderr, "sonotrap-tool scan: --start wants YYYY-MM-DDTHH:MM:SS, got '%s'\n", a.start.c_str());
        return 2;
    }
    if (a.minFreq >= a.maxFreq) {
        std::fprintf(stderr, "sonotrap-tool scan: --min-freq must be below --max-freq\n");
        return 2;
    }
    size_t shardK = 1, shardN = 1;
    if (!ParseShard(a.shard, &shardK, &shardN)) {
        std::fprintf(stderr, "sonotrap-tool scan: --shard wants K/N with 1 <= K <= N, got '%s'\n", a.shard.c_str());
        return 2;
    }
    std::vector<ScanInput> all;
    bool single = false;
    if (!CollectInputs(a, &all, &single)) return 2;
    std::vector<ScanInput> inputs;
    for (size_t i = shardK - 1; i < all.size(); i += shardN) inputs.push_back(all[i]);

    options.mp3 = a.format == "mp3";
    options.threshold = a.threshold;
    options.minTriggerHz = a.minFreq;
    options.maxTriggerHz = a.maxFreq;
    options.sizeLimit = a.sizeLimit == "on";
    options.peakLogging = a.peakLog == "on";
    options.blockIntervalMs = a.paceMs;
    const bool terminal = isatty(STDERR_FILENO);
    std::string error;
    EventCsv events;
    if (!a.events.empty() && !events.Open(a.events, !single, &error)) {
        std::fprintf(stderr, "sonotrap-tool scan: %s\n", error.c_str());
        return 2;
    }

    // Workers take the next input in list order. Events go to the table in that order too:
    // an input's rows as soon as every input before it has finished.
    std::vector<InputOutcome> outcomes(inputs.size());
    std::vector<bool> finished(inputs.size(), false);
    std::atomic<size_t> next{0};
    size_t finishedCount = 0, written = 0;
    std::mutex finishLock;
    auto work = [&] {
        for (size_t i; (i = next.fetch_add(1)) < inputs.size();) {
            InputOutcome outcome = ScanOne(inputs[i], options, terminal && inputs.size() == 1);
            std::lock_guard<std::mutex> lock(finishLock);
            outcomes[i] = std::move(outcome);
            finished[i] = true;
            for (; written < inputs.size() && finished[written]; ++written) {
                for (const EventRow& row : outcomes[written].events) events.Write(row);
            }
            if (terminal && inputs.size() > 1) ShowProgress(++finishedCount, inputs.size());
        }
    };
    const unsigned jobs = std::max(1u, std::min<unsigned>(a.jobs ? a.jobs : std::thread::hardware_concurrency(),
                                                          static_cast<unsigned>(std::max<size_t>(inputs.size(), 1))));
    std::vector<std::thread> workers;
    for (unsigned j = 1; j < jobs; ++j) workers.emplace_back(work);
    work();
    for (std::thread& t : workers) t.join();

    uint64_t blocks = 0;
    RecorderTotals totals;
    size_t failed = 0;
    for (const InputOutcome& o : outcomes) {
        if (!o.ok) ++failed;
        blocks += o.result.blocks;
        totals.triggeringBlocks += o.result.totals.triggeringBlocks;
        totals.groups += o.result.totals.groups;
        totals.blocksKept += o.result.totals.blocksKept;
        totals.files.insert(totals.files.end(), o.result.totals.files.begin(), o.result.totals.files.end());
    }
    if (single && !inputs.empty()) {
        if (!outcomes.front().read) return 2;
        PrintSummary(inputs.front().path, blocks, totals);
        return failed ? 1 : 0;
    }
    PrintSummary(std::to_string(inputs.size()) + " inputs", blocks, totals);
    if (failed) std::printf("Failed inputs: %zu\n", failed);
    return failed ? 1 : 0;
}

}  // namespace

void AddScanCommand(CLI::App& app, int& exitStatus) {
    auto args = std::make_shared<ScanArguments>();
    auto* cmd = app.add_subcommand("scan", "Record run over recordings: writes the triggered groups and Sonotrap.Log");
    cmd->add_option("INPUT", args->inputs,
                    "Recordings to scan (WAV or MP3) and directories to search for them (recursively)")
        ->required();
    cmd->add_option("--out", args->out,
                    "Directory for recordings and Sonotrap.Log (default: current); with several inputs, "
                    "one sub-directory per input named after it");
    cmd->add_option("--format", args->format, "Recording format (default mp3)")->check(CLI::IsMember({"mp3", "wav"}));
    cmd->add_option("--threshold", args->threshold, "Trigger at a band peak of at least -N dB (default 60)")
        ->check(CLI::Range(0.0, 96.0));
    cmd->add_option("--min-freq", args->minFreq, "Lowest trigger frequency, Hz, inclusive (default 16)");
    cmd->add_option("--max-freq", args->maxFreq, "Highest trigger frequency, Hz, exclusive (default 16000)");
    cmd->add_option("--size-limit", args->sizeLimit, "Close a file at a group's end once >= 5 MiB (default on)")
        ->check(CLI::IsMember({"on", "off"}));
    cmd->add_option("--peak-log", args->peakLog, "Peak records in Sonotrap.Log (default on)")
        ->check(CLI::IsMember({"on", "off"}));
    cmd->add_option("--start", args->start, "Local time of the first block, YYYY-MM-DDTHH:MM:SS (default: now)");
    cmd->add_option("--jobs", args->jobs, "Inputs scanned at once (default: one per core)")->check(CLI::Range(1u, 256u));
    cmd->add_option("--shard", args->shard,
                    "Only every N-th input of the sorted list, starting at the K-th (K/N, 1-based): "
                    "the part of one task of a job array");
    cmd->add_option("--events", args->events,
                    "Append one CSV row per group to this file (with an input column first when more than one "
                    "input is given)");
    // For crash tests: at least this many milliseconds per block (72 = real time).
    cmd->add_option("--pace-ms", args->paceMs)->group("")->check(CLI::Range(0.0, 10000.0));
    cmd->callback([args, &exitStatus] { exitStatus = RunScan(*args); });
}

}  // namespace sonotrap::tool
