#include "adapters/virtual/MemoryBackScreen.h"

#include <algorithm>

namespace sonotrap {

const PixelImage* MemoryBackScreen::FindBitmap(int resourceId) const {
    const auto it = bitmaps_.find(resourceId);
    return it == bitmaps_.end() ? nullptr : &it->second;
}

void MemoryBackScreen::SetBitmap(int resourceId, PixelImage image) { bitmaps_[resourceId] = std::move(image); }

void MemoryBackScreen::RemoveBitmap(int resourceId) { bitmaps_.erase(resourceId); }

std::vector<MemoryBackScreen::TextCall> MemoryBackScreen::TextCalls() {
    std::lock_guard lock(textMutex_);
    return texts_;
}

void MemoryBackScreen::ClearTextCalls() {
    std::lock_guard lock(textMutex_);
    texts_.clear();
}

void MemoryBackScreen::RenderText(uint32_t* pixels, int x, int y, std::string_view text, const TextStyle& style) {
    const int width = kCharWidth * static_cast<int>(text.size());
    const int left = style.align == TextAlign::Right ? x - width : x;
    for (int row = std::max(y, 0); row < std::min(y + fontHeight_, kHeight); ++row) {
        for (int col = std::max(left, 0); col < std::min(left + width, kWidth); ++col) {
            pixels[row * kWidth + col] = style.background;
        }
    }
    std::lock_guard lock(textMutex_);
    texts_.push_back(TextCall{x, y, std::string(text), style});
}

}  // namespace sonotrap
