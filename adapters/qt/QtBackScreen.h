#pragma once
#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QString>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/BackScreen.h"

class QImage;
class QPainter;

namespace sonotrap {

// The back screen on Qt: the pixels are viewed as a QImage (Format_RGB32), text is drawn with
// QPainter in DejaVu Sans (or the system's sans-serif face), and the bitmaps come from the
// program's resources (":/bitmaps/NNN.png"). Create the object on the GUI thread, after the
// QApplication; drawing may then happen from any thread.
class QtBackScreen : public BackScreen {
public:
    QtBackScreen();

    int FontHeight() const override;
    const PixelImage* FindBitmap(int resourceId) const override;

    // For the paint handler: copies the part of area that lies on the screen to the same place
    // on the painter (black while the screen has no pixels). The rest of area is left alone.
    void PaintTo(QPainter& painter, const QRect& area);
    // A copy of the screen as an opaque image.
    QImage ToImage();
    bool SavePng(const QString& path);

protected:
    void RenderText(uint32_t* pixels, int x, int y, std::string_view text, const TextStyle& style) override;

private:
    // A text as QPainter draws it into a cell at (0, 0): the pixels it set (0xFF...... words;
    // 0 where it left the screen alone) in a patchWidth x patchHeight patch at (left, top).
    struct RenderedText {
        int width = 0;  // the cell's
        int left = 0;
        int top = 0;
        int patchWidth = 0;
        int patchHeight = 0;
        std::vector<uint32_t> pixels;
    };
    RenderedText Draw(const QString& string, const TextStyle& style, bool fill, int fraction64);
    const RenderedText& Rendered(std::string_view text, const TextStyle& style);
    int Advance64(char c);
    const RenderedText& Glyph(char c, int fraction64);
    bool Independent(char a, char b);
    static void Stamp(const RenderedText& patch, int x, int y, uint32_t* pixels, int width, int height,
                      uint32_t colour = 0);

    QFont font_;
    QFontMetrics metrics_;
    QFontMetricsF metricsF_;
    int fontHeight_ = 0;
    int fontAscent_ = 0;
    std::map<int, PixelImage> bitmaps_;
    // Texts already drawn, by text and colours. The readouts and the note strip draw theirs
    // some fourteen times a second, mostly the same ones, and QPainter's shaping costs more than
    // the rest of the display. Glyphs are hard-edged and the cell starts on a whole pixel, so a
    // text looks the same wherever it is drawn. Used under the pixel lock.
    std::unordered_map<std::string, RenderedText> rendered_;
    std::unordered_map<int, RenderedText> glyphs_;  // ASCII glyphs alone, by glyph and fraction
    int advances_[128] = {};                        // in 64ths of a pixel; 0 until asked
    int8_t pairs_[128 * 128] = {};                  // Independent: 1 yes, -1 no, 0 not asked yet
};

// Loads a resource bitmap as 0x00RRGGBB pixels; false when it is missing.
bool LoadResourceBitmap(int resourceId, PixelImage* image);

}  // namespace sonotrap
