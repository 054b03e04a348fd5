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

QtBackScreen::QtBackScreen() {
    font_.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
    font_.setStyleHint(QFont::SansSerif);
    font_.setPixelSize(kFontPixelSize);
    // Hard-edged glyphs: the text sits on coloured cells and must read the same everywhere.
    font_.setStyleStrategy(QFont::NoAntialias);
    const QFontMetrics metrics(font_);
    fontHeight_ = metrics.height();
    fontAscent_ = metrics.ascent();
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

void QtBackScreen::RenderText(uint32_t* pixels, int x, int y, std::string_view text, const TextStyle& style) {
    const QString string = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const QFontMetrics metrics(font_);
    const int width = metrics.horizontalAdvance(string);
    const int left = style.align == TextAlign::Right ? x - width : x;
    QImage target = WrapPixels(pixels);
    QPainter painter(&target);
    painter.setFont(font_);
    painter.fillRect(QRect(left, y, width, fontHeight_), ToColor(style.background));
    painter.setPen(ToColor(style.colour));
    painter.drawText(QPoint(left, y + fontAscent_), string);
    painter.end();
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
