#pragma once
#include <map>
#include <string>
#include <vector>

#include "platform/BackScreen.h"

namespace sonotrap {

// A back screen with no font: text is recorded and its cell filled with the background, each
// character kCharWidth pixels wide. Bitmaps are whatever the owner registers. For tests and
// for running the display where no window system exists.
class MemoryBackScreen : public BackScreen {
public:
    static constexpr int kCharWidth = 6;

    struct TextCall {
        int x;
        int y;
        std::string text;
        TextStyle style;
    };

    explicit MemoryBackScreen(int fontHeight = 12) : fontHeight_(fontHeight) {}

    int FontHeight() const override { return fontHeight_; }
    const PixelImage* FindBitmap(int resourceId) const override;

    void SetBitmap(int resourceId, PixelImage image);
    void RemoveBitmap(int resourceId);
    // The texts drawn so far, oldest first; ClearTextCalls forgets them.
    std::vector<TextCall> TextCalls();
    void ClearTextCalls();

protected:
    void RenderText(uint32_t* pixels, int x, int y, std::string_view text, const TextStyle& style) override;

private:
    int fontHeight_;
    std::map<int, PixelImage> bitmaps_;
    std::mutex textMutex_;
    std::vector<TextCall> texts_;
};

}  // namespace sonotrap
