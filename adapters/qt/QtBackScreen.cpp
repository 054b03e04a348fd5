#include "adapters/qt/QtBackScreen.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QtGlobal>
#include <algorithm>

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

QtBackScreen::QtBackScreen() : font_(ScreenFont()), metrics_(font_) {
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

// Draws the text's cell and glyphs on transparent pixels, with room around the cell for glyphs
// that stick out of it.
QtBackScreen::RenderedText QtBackScreen::Draw(const QString& string, const TextStyle& style) {
    RenderedText drawn;
    drawn.width = metrics_.horizontalAdvance(string);
    const int margin = fontHeight_;
    QImage scratch(drawn.width + 2 * margin, fontHeight_ + 2 * margin, QImage::Format_ARGB32_Premultiplied);
    scratch.fill(Qt::transparent);
    QPainter painter(&scratch);
    painter.setFont(font_);
    painter.fillRect(QRect(margin, margin, drawn.width, fontHeight_), ToColor(style.background));
    painter.setPen(ToColor(style.colour));
    painter.drawText(QPoint(margin, margin + fontAscent_), string);
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
    return rendered_[std::move(key)] = Draw(string, style);
}

// Sets the pixels the patch holds at (x, y) of the screen, clipped to it.
void QtBackScreen::Stamp(const RenderedText& patch, int x, int y, uint32_t* pixels) {
    x += patch.left;
    y += patch.top;
    for (int row = std::max(0, -y); row < patch.patchHeight && y + row < kHeight; ++row) {
        const uint32_t* from = patch.pixels.data() + static_cast<size_t>(row) * patch.patchWidth;
        uint32_t* to = pixels + static_cast<ptrdiff_t>(y + row) * kWidth + x;
        for (int col = std::max(0, -x); col < patch.patchWidth && x + col < kWidth; ++col) {
            if (from[col]) to[col] = from[col];
        }
    }
}

void QtBackScreen::RenderText(uint32_t* pixels, int x, int y, std::string_view text, const TextStyle& style) {
    const RenderedText& shown = Rendered(text, style);
    const int left = style.align == TextAlign::Right ? x - shown.width : x;
    Stamp(shown, left, y, pixels);
    // QPainter writes opaque pixels (0xFF......); the screen's words keep the top byte clear.
    const int top = std::max(y - 2, 0);
    const int bottom = std::min(y + fontHeight_ + 2, kHeight);
    const int from = std::max(left - 2, 0);
    const int to = std::min(left + shown.width + 2, kWidth);
    for (int row = top; row < bottom; ++row) {
        for (int col = from; col < to; ++col) pixels[row * kWidth + col] &= 0xFFFFFFu;
    }
}

}  // namespace sonotrap
