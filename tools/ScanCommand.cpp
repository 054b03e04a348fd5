#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "tools/RecordingScan.h"
#include "tools/Commands.h"
#include "tools/ToolInput.h"

// sonotrap-tool scan: a Record run over a recording instead of a microphone.
namespace sonotrap::tool {

namespace {

struct ScanArguments {
    std::string file;
    std::string out = ".";
    std::string format = "mp3";
    double threshold = 60.0;
    int32_t minFreq = 16;
    int32_t maxFreq = 16000;
    std::string sizeLimit = "on";
    std::string peakLog = "on";
    std::string start;
    double paceMs = 0.0;
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

void PrintSummary(const std::string& file, const ScanResult& r) {
    std::printf("Scanned %s: %llu blocks (%.3f s)\n", file.c_str(), static_cast<unsigned long long>(r.blocks),
                static_cast<double>(r.blocks) * 0.072);
    std::printf("Triggering blocks: %u\n", r.totals.triggeringBlocks);
    std::printf("Groups: %u\n", r.totals.groups);
    std::printf("Files: %zu\n", r.totals.files.size());
    for (const std::string& f : r.totals.files) std::printf("  %s\n", f.c_str());
    std::printf("Seconds kept: %.3f\n", r.SecondsKept());
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
    std::vector<int16_t> samples;
    std::string error;
    if (!LoadMonoSamples(a.file, &samples, &error)) {
        std::fprintf(stderr, "sonotrap-tool scan: %s\n", error.c_str());
        return 2;
    }
    std::error_code ec;
    std::filesystem::create_directories(a.out, ec);
    if (!std::filesystem::is_directory(a.out, ec)) {
        std::fprintf(stderr, "sonotrap-tool scan: cannot use '%s' as the output directory\n", a.out.c_str());
        return 2;
    }
    options.outputDirectory = a.out;
    options.mp3 = a.format == "mp3";
    options.threshold = a.threshold;
    options.minTriggerHz = a.minFreq;
    options.maxTriggerHz = a.maxFreq;
    options.sizeLimit = a.sizeLimit == "on";
    options.peakLogging = a.peakLog == "on";
    options.blockIntervalMs = a.paceMs;
    if (isatty(STDERR_FILENO)) options.progress = ShowProgress;
    const ScanResult result = ScanRecording(std::move(samples), options);
    if (!result.ok) {
        std::fprintf(stderr, "sonotrap-tool scan: the run could not start (see Sonotrap.Log)\n");
        return 1;
    }
    PrintSummary(a.file, result);
    return 0;
}

}  // namespace

void AddScanCommand(CLI::App& app, int& exitStatus) {
    auto args = std::make_shared<ScanArguments>();
    auto* cmd = app.add_subcommand("scan", "Record run over a recording: writes the triggered groups and Sonotrap.Log");
    cmd->add_option("FILE", args->file, "Recording to scan (WAV or MP3)")->required();
    cmd->add_option("--out", args->out, "Directory for recordings and Sonotrap.Log (default: current)");
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
    // For crash tests: at least this many milliseconds per block (72 = real time).
    cmd->add_option("--pace-ms", args->paceMs)->group("")->check(CLI::Range(0.0, 10000.0));
    cmd->callback([args, &exitStatus] { exitStatus = RunScan(*args); });
}

}  // namespace sonotrap::tool
