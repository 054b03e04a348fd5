#include "platform/BackScreen.h"

#include <algorithm>
#include <new>

namespace sonotrap {

namespace {
constexpr size_t kPixelCount = static_cast<size_t>(BackScreen::kWidth) * BackScreen::kHeight;

Rect ClipToScreen(const Rect& r) {
    return Rect{std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, BackScreen::kWidth),
                std::min(r.bottom, BackScreen::kHeight)};
}
}  // namespace

bool BackScreen::Create() {
    std::lock_guard lock(pixelMutex_);
    pixels_.reset();
    pixels_.reset(new (std::nothrow) uint32_t[kPixelCount]);
    if (!pixels_) return false;
    std::fill_n(pixels_.get(), kPixelCount, 0u);
    return true;
}

void BackScreen::Release() {
    std::lock_guard lock(pixelMutex_);
    pixels_.reset();
}

bool BackScreen::IsCreated() const {
    std::lock_guard lock(pixelMutex_);
    return pixels_ != nullptr;
}

BackScreen::Canvas BackScreen::Lock() { return Canvas(*this); }

void BackScreen::SetInvalidationSink(InvalidationSink sink) {
    std::lock_guard lock(sinkMutex_);
    sink_ = std::move(sink);
}

void BackScreen::Invalidate(const Rect& rect) {
    std::lock_guard lock(sinkMutex_);
    if (sink_.invalidate) sink_.invalidate(rect);
}

void BackScreen::UpdateWindow() {
    std::lock_guard lock(sinkMutex_);
    if (sink_.update) sink_.update();
}

PixelImage BackScreen::Snapshot() {
    PixelImage image;
    Lock().SaveRect(Rect{0, 0, kWidth, kHeight}, &image);
    return image;
}

BackScreen::Canvas::Canvas(BackScreen& screen)
    : screen_(&screen), lock_(screen.pixelMutex_), pixels_(screen.pixels_.get()) {}

uint32_t BackScreen::Canvas::Pixel(int x, int y) const {
    if (!pixels_ || x < 0 || y < 0 || x >= kWidth || y >= kHeight) return 0;
    return pixels_[y * kWidth + x];
}

void BackScreen::Canvas::SetPixel(int x, int y, uint32_t colour) {
    if (!pixels_ || x < 0 || y < 0 || x >= kWidth || y >= kHeight) return;
    pixels_[y * kWidth + x] = colour;
}

void BackScreen::Canvas::FillRect(const Rect& rect, uint32_t colour) {
    if (!pixels_) return;
    const Rect r = ClipToScreen(rect);
    for (int y = r.top; y < r.bottom; ++y) {
        if (r.left < r.right) std::fill(pixels_ + y * kWidth + r.left, pixels_ + y * kWidth + r.right, colour);
    }
}

void BackScreen::Canvas::DrawRectangle(const Rect& rect, uint32_t pen, uint32_t fill) {
    if (rect.Width() <= 0 || rect.Height() <= 0) return;
    FillRect(rect, pen);
    FillRect(Rect{rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1}, fill);
}

void BackScreen::Canvas::CopyBitmap(int resourceId, int x, int y, int width, int height, int srcX, int srcY) {
    if (const PixelImage* bitmap = screen_->FindBitmap(resourceId)) {
        CopyImage(*bitmap, x, y, width, height, srcX, srcY);
    }
}

void BackScreen::Canvas::CopyImage(const PixelImage& image, int x, int y, int width, int height, int srcX,
                                   int srcY) {
    if (!pixels_) return;
    // Clip the source to the image, then the destination to the screen, moving both together.
    int left = std::max({0, -srcX, -x});
    int top = std::max({0, -srcY, -y});
    const int right = std::min({width, image.width - srcX, kWidth - x});
    const int bottom = std::min({height, image.height - srcY, kHeight - y});
    if (left >= right || top >= bottom) return;
    if (image.pixels.size() < static_cast<size_t>(image.width) * image.height) return;
    for (int row = top; row < bottom; ++row) {
        const uint32_t* from = image.pixels.data() + static_cast<size_t>(srcY + row) * image.width + srcX;
        std::copy(from + left, from + right, pixels_ + (y + row) * kWidth + x + left);
    }
}

void BackScreen::Canvas::SaveRect(const Rect& rect, PixelImage* image) const {
    image->width = std::max(rect.Width(), 0);
    image->height = std::max(rect.Height(), 0);
    image->pixels.assign(static_cast<size_t>(image->width) * image->height, 0u);
    if (!pixels_) return;
    for (int y = 0; y < image->height; ++y) {
        for (int x = 0; x < image->width; ++x) {
            image->pixels[static_cast<size_t>(y) * image->width + x] = Pixel(rect.left + x, rect.top + y);
        }
    }
}

void BackScreen::Canvas::DrawText(int x, int y, std::string_view text, const TextStyle& style) {
    if (!pixels_ || text.empty()) return;
    screen_->RenderText(pixels_, x, y, text, style);
}

}  // namespace sonotrap
