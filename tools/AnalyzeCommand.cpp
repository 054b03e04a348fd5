#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "display/BlockLevel.h"
#include "display/SpectrumAnalyzer.h"
#include "tools/Commands.h"
#include "tools/ToolInput.h"

// sonotrap-tool analyze: every capture block of a file analysed as the capture side would,
// one line per block.
namespace sonotrap::tool {

namespace {

constexpr size_t kBlock = kCaptureBlockSamples;      // 2304 samples, 72 ms
constexpr size_t kHistory = 6 * kCaptureBlockSamples;  // the window starts six blocks back

struct AnalyzeOptions {
    std::string file;
    std::vector<float> band{0.0f, 0.0f};
    unsigned depth = 1;
    bool normalize = false;
    bool csv = false;
};

std::string OctaveNotes(const NotePeaks& notes) {
    std::string text;
    for (const char* note : notes.octaveNote) {
        if (!note) continue;
        if (!text.empty()) text += ' ';
        text += note;
    }
    return text.empty() ? "-" : text;
}

int RunAnalyze(const AnalyzeOptions& options) {
    MonoStream stream;
    std::string error;
    if (!stream.Open(options.file, &error)) {
        std::fprintf(stderr, "sonotrap-tool analyze: %s\n", error.c_str());
        return 2;
    }
    auto analyzer = std::make_unique<SpectrumAnalyzer>();
    analyzer->SetAveragingDepth(options.depth);
    analyzer->SetNormalize(options.normalize);
    auto notes = std::make_unique<NotePeaks>();
    std::vector<int16_t> window(SpectrumAnalyzer::kFftSize);
    BlockWindows windows(stream);

    if (options.csv)
        std::printf("block,seconds,peak_hz,peak_db,level_db,notes\n");
    else
        std::printf("%6s %9s %10s %8s %9s  %s\n", "block", "seconds", "peak Hz", "peak dB", "level dB", "notes");
    const size_t blocks = static_cast<size_t>((stream.TotalSamples() + kBlock - 1) / kBlock);
    for (size_t k = 0; k < blocks; ++k) {
        windows.Fill(k, window.data(), window.size());
        PeakReading reading = PeakReading::Band(options.band[0], options.band[1]);
        analyzer->AnalyzeBlock(window.data(), reading, *notes);
        // The block itself sits at offset kHistory of its window.
        const double level = BlockLevelDb(FindSampleExtremes(window.data() + kHistory, kBlock));
        const std::string noteText = OctaveNotes(*notes);
        const double seconds = static_cast<double>(k) * 0.072;
        if (options.csv)
            std::printf("%zu,%.3f,%.3f,%.2f,%.2f,%s\n", k, seconds, reading.hz, reading.db, level, noteText.c_str());
        else
            std::printf("%6zu %9.3f %10.3f %8.2f %9.2f  %s\n", k, seconds, reading.hz, reading.db, level,
                        noteText.c_str());
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

void AddAnalyzeCommand(CLI::App& app, int& exitStatus) {
    auto options = std::make_shared<AnalyzeOptions>();
    auto* cmd = app.add_subcommand("analyze",
                                   "Analyse a recording block by block (72 ms blocks) as the capture side does: "
                                   "peak frequency and level in the band, block level, octave notes");
    cmd->add_option("FILE", options->file, "16-bit PCM WAV, mono, 32000 Hz")->required();
    cmd->add_option("--band", options->band, "Band LOW HIGH in Hz; 0 0 (default) or 16 16000 reports the loudest note peak")
        ->expected(2);
    cmd->add_option("--depth", options->depth, "Average the spectra of the last N blocks (1-16)")
        ->check(CLI::Range(1, 16));
    cmd->add_flag("--normalize", options->normalize, "Scale the averaged spectrum so its largest bin is 0 dB");
    cmd->add_flag("--csv", options->csv, "CSV: block,seconds,peak_hz,peak_db,level_db,notes");
    cmd->callback([options, &exitStatus] { exitStatus = RunAnalyze(*options); });
}

}  // namespace sonotrap::tool
