#include "adapters/qt/QtBackScreen.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QtGlobal>
#include <algorithm>
#include <array>

// The resources live in a static library: make sure they are linked in and registered.
static void InitSonotrapResources() { Q_INIT_RESOURCE(sonotrap); }

namespace sonotrap {

namespace {
constexpr int kFirstBitmap = 107;
constexpr int kLastBitmap = 141;
constexpr int kFontPixelSize = 11;

QImage WrapPixels(uint32_t* pixels) {
    return QImage(reinterpret_cast<uchar*>(pixels), BackScreen::kWidth, BackScreen::kHeight, BackScreen::kRowBytes,
                  QImage::Format_RGB32);
}

// QPainter lays a text's glyphs out in 64ths of a pixel; the text's width is its advance rounded.
int Width(int advance64) { return (advance64 + 32) >> 6; }

QColor ToColor(uint32_t rgb) { return QColor::fromRgb(static_cast<QRgb>(rgb | 0xFF000000u)); }

QFont ScreenFont() {
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(kFontPixelSize);
    // Hard-edged glyphs: the text sits on coloured cells and must read the same everywhere.
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}
}  // namespace

bool LoadResourceBitmap(int resourceId, PixelImage* image) {
    InitSonotrapResources();
    QImage loaded(QStringLiteral(":/bitmaps/%1.png").arg(resourceId));
    if (loaded.isNull()) return false;
    loaded = loaded.convertToFormat(QImage::Format_RGB32);
    image->width = loaded.width();
    image->height = loaded.height();
    image->pixels.resize(static_cast<size_t>(image->width) * image->height);
    for (int y = 0; y < image->height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(loaded.constScanLine(y));
        for (int x = 0; x < image->width; ++x) image->pixels[static_cast<size_t>(y) * image->width + x] = row[x] & 0xFFFFFFu;
    }
    return true;
}

QtBackScreen::QtBackScreen() : font_(ScreenFont()), metrics_(font_), metricsF_(font_) {
    fontHeight_ = metrics_.height();
    fontAscent_ = metrics_.ascent();
    for (int id = kFirstBitmap; id <= kLastBitmap; ++id) {
        PixelImage image;
        if (LoadResourceBitmap(id, &image)) bitmaps_.emplace(id, std::move(image));
    }
}

int QtBackScreen::FontHeight() const { return fontHeight_; }

const PixelImage* QtBackScreen::FindBitmap(int resourceId) const {
    const auto it = bitmaps_.find(resourceId);
    return it == bitmaps_.end() ? nullptr : &it->second;
}

void QtBackScreen::PaintTo(QPainter& painter, const QRect& area) {
    const QRect part = area.intersected(QRect(0, 0, kWidth, kHeight));
    if (part.isEmpty()) return;
    std::lock_guard lock(PixelMutex());
    if (uint32_t* pixels = PixelsUnlocked()) {
        painter.drawImage(part.topLeft(), WrapPixels(pixels), part);
    } else {
        painter.fillRect(part, Qt::black);
    }
}

QImage QtBackScreen::ToImage() {
    const PixelImage shot = Snapshot();
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    for (int y = 0; y < kHeight; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(image.scanLine(y));
        for (int x = 0; x < kWidth; ++x) row[x] = shot.At(x, y) | 0xFF000000u;
    }
    return image;
}

bool QtBackScreen::SavePng(const QString& path) { return ToImage().save(path, "PNG"); }

// Draws the text's glyphs on transparent pixels from fraction64 64ths of a pixel into the cell,
// over the cell when fill is set, with room around it for glyphs that stick out of it.
QtBackScreen::RenderedText QtBackScreen::Draw(const QString& string, const TextStyle& style, bool fill,
                                              int fraction64) {
    RenderedText drawn;
    drawn.width = metrics_.horizontalAdvance(string);
    const int margin = fontHeight_;
    QImage scratch(drawn.width + 2 * margin, fontHeight_ + 2 * margin, QImage::Format_ARGB32_Premultiplied);
    scratch.fill(Qt::transparent);
    QPainter painter(&scratch);
    painter.setFont(font_);
    if (fill) painter.fillRect(QRect(margin, margin, drawn.width, fontHeight_), ToColor(style.background));
    painter.setPen(ToColor(style.colour));
    painter.drawText(QPointF(margin + fraction64 / 64.0, margin + fontAscent_), string);
    painter.end();

    int left = scratch.width(), right = 0, top = scratch.height(), bottom = 0;
    for (int y = 0; y < scratch.height(); ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(scratch.constScanLine(y));
        for (int x = 0; x < scratch.width(); ++x) {
            if (!row[x]) continue;
            left = std::min(left, x), right = std::max(right, x + 1);
            top = std::min(top, y), bottom = std::max(bottom, y + 1);
        }
    }
    if (left >= right) return drawn;
    drawn.left = left - margin;
    drawn.top = top - margin;
    drawn.patchWidth = right - left;
    drawn.patchHeight = bottom - top;
    drawn.pixels.reserve(static_cast<size_t>(drawn.patchWidth) * drawn.patchHeight);
    for (int y = top; y < bottom; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(scratch.constScanLine(y));
        drawn.pixels.insert(drawn.pixels.end(), row + left, row + right);
    }
    return drawn;
}

const QtBackScreen::RenderedText& QtBackScreen::Rendered(std::string_view text, const TextStyle& style) {
    std::string key(text);
    key.append(reinterpret_cast<const char*>(&style.colour), sizeof style.colour);
    key.append(reinterpret_cast<const char*>(&style.background), sizeof style.background);
    if (const auto it = rendered_.find(key); it != rendered_.end()) return it->second;
    constexpr size_t kMostTexts = 1024;  // a megabyte or so at most
    if (rendered_.size() >= kMostTexts) rendered_.clear();
    const QString string = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    return rendered_[std::move(key)] = Draw(string, style, true, 0);
}

int QtBackScreen::Advance64(char c) {
    int& advance = advances_[static_cast<unsigned char>(c)];
    if (advance == 0) advance = qRound(metricsF_.horizontalAdvance(QChar(c)) * 64);
    return advance;
}

// A glyph alone, drawn from a fraction of a pixel: its pixels depend on where it falls.
const QtBackScreen::RenderedText& QtBackScreen::Glyph(char c, int fraction64) {
    const auto [it, added] = glyphs_.try_emplace(static_cast<unsigned char>(c) * 64 + fraction64);
    if (added) it->second = Draw(QString(QChar(c)), TextStyle{}, false, fraction64);
    return it->second;
}

// Whether a next to b comes out as each glyph alone, side by side: no kerning, no ligature.
bool QtBackScreen::Independent(char a, char b) {
    int8_t& known = pairs_[static_cast<unsigned char>(a) * 128 + static_cast<unsigned char>(b)];
    if (known) return known > 0;
    const QString pair = QString::fromLatin1(std::array{a, b}.data(), 2);
    const int margin = fontHeight_, width = 4 * fontHeight_ + 2 * margin, height = fontHeight_ + 2 * margin;
    std::vector<uint32_t> together(static_cast<size_t>(width) * height), apart(together.size());
    Stamp(Draw(pair, TextStyle{}, false, 0), margin, margin, together.data(), width, height);
    Stamp(Glyph(a, 0), margin, margin, apart.data(), width, height);
    Stamp(Glyph(b, Advance64(a) % 64), margin + Advance64(a) / 64, margin, apart.data(), width, height);
    const bool same =
        qRound(metricsF_.horizontalAdvance(pair) * 64) == Advance64(a) + Advance64(b) && together == apart;
    known = same ? 1 : -1;
    return same;
}

// Sets the pixels the patch holds at (x, y) of a width x height picture, clipped to it: to
// colour, or with colour 0 to the patch's own words.
void QtBackScreen::Stamp(const RenderedText& patch, int x, int y, uint32_t* pixels, int width, int height,
                         uint32_t colour) {
    x += patch.left;
    y += patch.top;
    for (int row = std::max(0, -y); row < patch.patchHeight && y + row < height; ++row) {
        const uint32_t* from = patch.pixels.data() + static_cast<size_t>(row) * patch.patchWidth;
        uint32_t* to = pixels + static_cast<ptrdiff_t>(y + row) * width + x;
        for (int col = std::max(0, -x); col < patch.patchWidth && x + col < width; ++col) {
            if (from[col]) to[col] = colour ? colour : from[col];
        }
    }
}

void QtBackScreen::RenderText(uint32_t* pixels, int x, int y, std::string_view text, const TextStyle& style) {
    // Plain ASCII whose neighbouring glyphs do not interact is put together from single glyphs:
    // the readouts' numbers change from block to block and would seldom be found whole.
    bool composed = true;
    int advance64 = 0;
    for (size_t i = 0; i < text.size() && composed; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        composed = c >= 0x20 && c < 0x7F && (i == 0 || Independent(text[i - 1], text[i]));
        if (composed) advance64 += Advance64(text[i]);
    }
    const int width = composed ? Width(advance64) : Rendered(text, style).width;
    const int left = style.align == TextAlign::Right ? x - width : x;
    const uint32_t opaque = 0xFF000000u;
    if (composed) {
        for (int row = std::max(y, 0); row < std::min(y + fontHeight_, kHeight); ++row) {
            for (int col = std::max(left, 0); col < std::min(left + width, kWidth); ++col)
                pixels[row * kWidth + col] = style.background | opaque;
        }
        int at64 = 0;
        for (char c : text) {
            Stamp(Glyph(c, at64 % 64), left + at64 / 64, y, pixels, kWidth, kHeight, style.colour | opaque);
            at64 += Advance64(c);
        }
    } else {
        Stamp(Rendered(text, style), left, y, pixels, kWidth, kHeight);
    }
    // QPainter writes opaque pixels (0xFF......); the screen's words keep the top byte clear.
    const int top = std::max(y - 2, 0);
    const int bottom = std::min(y + fontHeight_ + 2, kHeight);
    const int from = std::max(left - 2, 0);
    const int to = std::min(left + width + 2, kWidth);
    for (int row = top; row < bottom; ++row) {
        for (int col = from; col < to; ++col) pixels[row * kWidth + col] &= 0xFFFFFFu;
    }
}

}  // namespace sonotrap
