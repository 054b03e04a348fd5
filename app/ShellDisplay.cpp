#include "app/ShellDisplay.h"

namespace sonotrap {

void ShellDisplay::SelectModeButton(int modeIndex) {
    if (ModeStrip* strip = display_.Strip()) strip->SelectModeButton(modeIndex_, modeIndex);
}

void ShellDisplay::DisableModeStrip() {
    if (ModeStrip* strip = display_.Strip()) strip->DisableModeStrip(modeIndex_);
}

void ShellDisplay::RestoreModeStrip() {
    if (ModeStrip* strip = display_.Strip()) strip->RestoreModeStrip();
}

void ShellDisplay::ShowStartButton() {
    if (ModeStrip* strip = display_.Strip()) strip->ShowStartButton();
}

void ShellDisplay::ShowStopButton() {
    if (ModeStrip* strip = display_.Strip()) strip->ShowStopButton();
}

void ShellDisplay::ResetGraph() {
    if (FrequencyGraph* graph = display_.Graph()) graph->ResetGraph();
}

void ShellDisplay::SetMarkerFall(int rate) {
    if (FrequencyGraph* graph = display_.Graph()) graph->SetMarkerFall(static_cast<int16_t>(rate));
}

void ShellDisplay::ShowThresholdMarker(bool show) {
    if (FrequencyGraph* graph = display_.Graph()) graph->ShowThresholdMarker(show);
}

void ShellDisplay::ResetAveraging() {
    if (SpectrumAnalyzer* analyzer = display_.Analyzer()) analyzer->ResetAveraging();
}

void ShellDisplay::SetThresholdMarker(uint32_t threshold) {
    if (FrequencyGraph* graph = display_.Graph()) graph->SetThresholdMarker(static_cast<double>(threshold));
}

void ShellDisplay::UpdateTimeAndSize(int32_t seconds, int32_t kilobytes) {
    if (FrequencyGraph* graph = display_.Graph()) graph->UpdateTimeAndSize(seconds, kilobytes);
}

void ShellDisplay::AnalyzeBlock(const int16_t* window, float* peakHz, float* peakDb) {
    if (!display_.Analyzer()) return;
    PeakReading reading = PeakReading::Band(*peakHz, *peakDb);
    display_.AnalyzeBlock(window, reading);
    *peakHz = reading.hz;
    *peakDb = reading.db;
}

void ShellDisplay::UpdateMetersAndReadouts(bool showVuText, double level, float peakHz, float peakDb) {
    if (FrequencyGraph* graph = display_.Graph()) graph->UpdateMetersAndReadouts(showVuText, level, peakHz, peakDb);
}

void ShellDisplay::DrawGraph() {
    if (FrequencyGraph* graph = display_.Graph()) graph->DrawGraph();
}

}  // namespace sonotrap
