#include "display/FrequencyGraph.h"

#include <algorithm>
#include <cmath>

#include "display/FormatDecimal.h"
#include "display/LevelScale.h"
#include "display/ScreenLayout.h"

namespace sonotrap {

namespace {
constexpr Rect kPanelRect{79, 42, 561, 364};
constexpr Rect kNoteStripRect{79, 365, 561, 402};
constexpr Rect kRulerRect{79, 403, 561, 432};
constexpr Rect kGraphArea{79, 42, 561, 402};
constexpr Rect kVuMeterRect{64, 43, 79, 431};
constexpr Rect kVuMeterFrame{63, 42, 80, 432};
constexpr Rect kPeakMeterRect{561, 43, 576, 431};
constexpr Rect kPeakMeterFrame{560, 42, 577, 432};
constexpr int kOctaveWidth = 48;

constexpr uint32_t kNoteColour[2] = {Rgb(192, 192, 255), Rgb(255, 255, 255)};
constexpr uint32_t kNeighbourColour[2] = {Rgb(32, 32, 255), Rgb(32, 255, 32)};
constexpr uint32_t kMidwayColour[2] = {Rgb(0, 0, 128), Rgb(0, 128, 0)};
constexpr uint32_t kStripBackground[2] = {Rgb(192, 192, 255), Rgb(192, 255, 192)};

void CopyBitmapTo(BackScreen::Canvas& canvas, int bitmap, const Rect& rect) {
    canvas.CopyBitmap(bitmap, rect.left, rect.top, rect.Width(), rect.Height());
}

// Row of a bar's top for a band level: none for 0, clamped to the plot.
int BarTopFor(float level) {
    if (!(level < 0.0f) && !(level > 0.0f)) return FrequencyGraph::kPlotBottom;  // 0 or not a number
    const float rows = level * 4.0f;
    if (rows <= -320.0f) return FrequencyGraph::kPlotBottom;
    if (rows >= 0.0f) return FrequencyGraph::kPlotTop;
    return std::clamp(FrequencyGraph::kPlotTop - static_cast<int>(std::trunc(rows)), FrequencyGraph::kPlotTop,
                      FrequencyGraph::kPlotBottom);
}

// Decimals of an octave's peak frequency in the note strip.
int StripDecimals(int octave) { return octave <= 2 ? 3 : octave <= 5 ? 2 : 1; }
}  // namespace

FrequencyGraph::Layout::Layout(int L)
    : levelBox{64, 434, 159, 434 + L},
      levelFrame{63, 433, 160, 435 + L},
      timeBox{64, 435 + L, 159, 435 + 2 * L},
      timeFrame{63, 434 + L, 160, 436 + 2 * L},
      peakDbBox{481, 434, 576, 434 + L},
      peakDbFrame{480, 433, 577, 435 + L},
      peakDbValue{543, 434, 576, 434 + L},
      peakHzBox{481, 435 + L, 576, 435 + 2 * L},
      peakHzFrame{480, 434 + L, 577, 436 + 2 * L},
      peakHzValue{526, 435 + L, 576, 435 + 2 * L} {}

FrequencyGraph::FrequencyGraph(BackScreen& screen)
    : screen_(screen),
      lineHeight_(screen.FontHeight() + 2),
      layout_(lineHeight_),
      meterFramesDrawn_(DrawMeterFrames(screen)),
      vuMeter_(screen, false, kVuMeterRect),
      peakMeter_(screen, true, kPeakMeterRect) {
    notes_.peakHz = 0.0f;
    notes_.peakDb = 0.0f;
    notes_.peakOctave = -1;
    BuildBarColours();
    for (int16_t& top : barTop_) top = kPlotBottom;
    // The boxes take the teal of the meter scale as their background.
    textBackground_ = screen_.Lock().Pixel(65, 430);
    DrawBoxes();
    {
        auto canvas = screen_.Lock();
        CopyBitmapTo(canvas, kPanelBitmap, kPanelRect);
        CopyBitmapTo(canvas, kNoteStripBitmap, kNoteStripRect);
        CopyBitmapTo(canvas, kRulerBitmap, kRulerRect);
    }
    const Layout& b = layout_;
    InvalidateAll({Rect{79, 42, 561, 432}, kVuMeterFrame, kPeakMeterFrame, b.levelFrame, b.timeFrame, b.peakDbFrame,
                   b.peakHzFrame});
}

bool FrequencyGraph::DrawMeterFrames(BackScreen& screen) {
    auto canvas = screen.Lock();
    canvas.DrawRectangle(kVuMeterFrame, kWhite, kWhite);
    canvas.DrawRectangle(kPeakMeterFrame, kWhite, kWhite);
    return true;
}

// Every band gets its octave's midway colour, then note bands their note colour, then the
// neighbours of each note band take that note's neighbour colour (so the band just below a C
// belongs to the C's octave); band 479 has no note above and stays midway.
void FrequencyGraph::BuildBarColours() {
    for (int b = 0; b < kBandTableSize; ++b) barColour_[b] = kMidwayColour[(b / kBandsPerOctave) % 2];
    for (int b = 0; b < kBandTableSize; b += 4) barColour_[b] = kNoteColour[(b / kBandsPerOctave) % 2];
    for (int b = 0; b < kBandTableSize; b += 4) {
        const uint32_t neighbour = kNeighbourColour[(b / kBandsPerOctave) % 2];
        if (b > 0) barColour_[b - 1] = neighbour;
        if (b < kBandTableSize - 1) barColour_[b + 1] = neighbour;
    }
}

void FrequencyGraph::DrawBoxes() {
    const Layout& b = layout_;
    const TextStyle left{kBlack, textBackground_, TextAlign::Left};
    const TextStyle right{kBlack, textBackground_, TextAlign::Right};
    auto canvas = screen_.Lock();
    for (const auto& [frame, box] : {std::pair{b.levelFrame, b.levelBox}, std::pair{b.timeFrame, b.timeBox},
                                     std::pair{b.peakDbFrame, b.peakDbBox}, std::pair{b.peakHzFrame, b.peakHzBox}}) {
        canvas.DrawRectangle(frame, kWhite, kWhite);
        canvas.FillRect(box, textBackground_);
    }
    canvas.DrawText(482, 435, "Peak dB", left);
    canvas.DrawText(575, 435, "0.0", right);
    canvas.DrawText(482, 436 + lineHeight_, "Peak f:", left);
    canvas.DrawText(576, 436 + lineHeight_, "0", right);
}

void FrequencyGraph::DrawGraph() {
    std::lock_guard drawing(drawMutex_);
    Rect changed[kOctaveCount + 1];
    int count = 0;
    {
        auto canvas = screen_.Lock();
        count = DrawBars(canvas, changed);
        if (notes_.peakHz > 1.0f && notes_.peakOctave > -1 && notes_.peakDb > kFloorDb) {
            DrawNoteStrip(canvas);
            changed[count++] = kNoteStripRect;
        }
    }
    InvalidateAll(changed, count);
}

// Only the change of each bar is painted: black where it shrank, its colour where it grew. The
// rows each octave changed make one rectangle of changed (returns how many): the window then
// repaints the bars' moving tops, not the whole plot.
int FrequencyGraph::DrawBars(BackScreen::Canvas& canvas, Rect* changed) {
    uint32_t* pixels = canvas.Pixels();
    if (!pixels) return 0;
    int count = 0;
    for (int first = 0; first < kBandCount; first += kBandsPerOctave) {
        const int end = std::min(first + kBandsPerOctave, kBandCount);
        int top = kPlotBottom, bottom = kPlotTop;
        for (int b = first; b < end; ++b) {
            const int y = BarTopFor(notes_.bandLevel[b]);
            const int old = barTop_[b];
            uint32_t* column = pixels + kPlotLeft + b;
            if (y > old) {
                for (int row = old; row < y; ++row) column[row * BackScreen::kWidth] = kBlack;
            } else if (y < old) {
                for (int row = y; row < old; ++row) column[row * BackScreen::kWidth] = barColour_[b];
            }
            if (y != old) top = std::min({top, y, old}), bottom = std::max({bottom, y, old});
            barTop_[b] = static_cast<int16_t>(y);
        }
        if (top < bottom) changed[count++] = Rect{kPlotLeft + first, top, kPlotLeft + end, bottom};
    }
    return count;
}

void FrequencyGraph::DrawNoteStrip(BackScreen::Canvas& canvas) {
    CopyBitmapTo(canvas, kNoteStripBitmap, kNoteStripRect);
    for (int o = 0; o < kOctaveCount; ++o) {
        if (!notes_.octaveNote[o]) continue;
        const TextStyle style{kBlack, kStripBackground[o % 2], TextAlign::Left};
        const int x = kPlotLeft + kOctaveWidth * o;
        canvas.DrawText(x, kNoteStripRect.top, notes_.octaveNote[o], style);
        const std::string hz = FormatDecimal(StripDecimals(o), notes_.octavePeakHz[o]).substr(0, 6);
        canvas.DrawText(x, kNoteStripRect.top + lineHeight_, hz, style);
    }
}

void FrequencyGraph::ResetGraph() {
    std::lock_guard drawing(drawMutex_);
    const Layout& b = layout_;
    const TextStyle right{kBlack, textBackground_, TextAlign::Right};
    {
        auto canvas = screen_.Lock();
        CopyBitmapTo(canvas, kPanelBitmap, kPanelRect);
        CopyBitmapTo(canvas, kNoteStripBitmap, kNoteStripRect);
        canvas.FillRect(b.peakDbValue, textBackground_);
        canvas.DrawText(575, 435, "0.0", right);
        canvas.FillRect(b.peakHzValue, textBackground_);
        canvas.DrawText(575, 436 + lineHeight_, "0", right);
        canvas.FillRect(b.timeBox, textBackground_);
        canvas.FillRect(b.levelBox, textBackground_);
        canvas.DrawText(158, 436 + lineHeight_, "0 secs", right);
    }
    vuMeter_.ResetLevelMeter();
    peakMeter_.ResetLevelMeter();
    shownSeconds_ = 0;
    shownKilobytes_ = 0;
    vuTextMemory_ = 0.0;
    peakTextMemory_ = 0.0;
    for (int16_t& top : barTop_) top = kPlotBottom;
    InvalidateAll({kGraphArea, kVuMeterRect, kPeakMeterRect, b.peakDbValue, b.peakHzValue, b.timeFrame, b.levelFrame});
}

void FrequencyGraph::SetMarkerFall(int16_t rows) {
    vuMeter_.SetMarkerFall(rows);
    peakMeter_.SetMarkerFall(rows);
}

void FrequencyGraph::InvalidateAll(std::initializer_list<Rect> rects) {
    InvalidateAll(rects.begin(), static_cast<int>(rects.size()));
}

void FrequencyGraph::InvalidateAll(const Rect* rects, int count) {
    for (int i = 0; i < count; ++i) screen_.Invalidate(rects[i]);
    screen_.UpdateWindow();
}

}  // namespace sonotrap
