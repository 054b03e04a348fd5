#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

namespace sonotrap {

// A rectangle in back-screen pixels; right and bottom are exclusive.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

// A picture of 0x00RRGGBB pixels, rows from the top.
struct PixelImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

constexpr uint32_t Rgb(int r, int g, int b) {
    return (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | static_cast<uint32_t>(b);
}

enum class TextAlign { Left, Right };

// Black text on an opaque background cell, as the readouts and the note strip draw it.
struct TextStyle {
    uint32_t colour = 0;
    uint32_t background = 0xFFFFFF;
    TextAlign align = TextAlign::Left;  // Right: x is the right edge of the text
};

// Where invalidations go: the window sets these (from any thread they may be called).
struct InvalidationSink {
    std::function<void(const Rect&)> invalidate;  // repaint this rectangle, without erasing
    std::function<void()> update;                 // show pending invalidations now
};

// The off-screen picture that everything the user sees is drawn into: 640 x 480 pixels, each
// one 32-bit word 0x00RRGGBB, rows from the top, 2560 bytes per row. Drawing happens from
// several threads; each drawing operation holds the screen's lock through a Canvas, and the
// paint handler copies under the same lock, so no two painters ever meet. Bitmaps are
// addressed by their resource numbers (129 to 141); one that failed to load copies nothing.
// The font of the text operations is fixed by the adapter; only its height matters to callers.
class BackScreen {
public:
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 480;
    static constexpr int kRowBytes = kWidth * 4;

    class Canvas;

    virtual ~BackScreen() = default;
    BackScreen(const BackScreen&) = delete;
    BackScreen& operator=(const BackScreen&) = delete;

    // Allocates the pixels cleared to black (releasing any earlier ones); false when no memory.
    bool Create();
    void Release();
    bool IsCreated() const;

    // Exclusive access for one drawing operation; release it before invalidating.
    Canvas Lock();

    // The font's height in pixels (the readouts' line height is this plus 2).
    virtual int FontHeight() const = 0;
    // The bitmap with this resource number, or null when it is not available.
    virtual const PixelImage* FindBitmap(int resourceId) const = 0;

    void SetInvalidationSink(InvalidationSink sink);
    void Invalidate(const Rect& rect);
    void UpdateWindow();

    // A copy of the whole screen (black when not created), taken under the lock.
    PixelImage Snapshot();

protected:
    BackScreen() = default;
    // Draws text into the locked pixels (640 x 480, 2560-byte rows); x, y is the top-left of the
    // text cell, or its top-right with right alignment. The cell is filled with the background.
    virtual void RenderText(uint32_t* pixels, int x, int y, std::string_view text, const TextStyle& style) = 0;
    // The lock, for adapters whose paint handler copies pixels out.
    std::mutex& PixelMutex() { return pixelMutex_; }
    uint32_t* PixelsUnlocked() { return pixels_.get(); }

private:
    friend class Canvas;
    mutable std::mutex pixelMutex_;
    std::unique_ptr<uint32_t[]> pixels_;
    std::mutex sinkMutex_;
    InvalidationSink sink_;
};

// One locked drawing session on the back screen. Every operation clips to the screen and does
// nothing when the screen has no pixels.
class BackScreen::Canvas {
public:
    explicit Canvas(BackScreen& screen);
    Canvas(Canvas&&) = default;

    // Null when the screen has not been created.
    uint32_t* Pixels() const { return pixels_; }
    uint32_t Pixel(int x, int y) const;
    void SetPixel(int x, int y, uint32_t colour);

    void FillRect(const Rect& rect, uint32_t colour);
    // A one-pixel outline in pen on the rectangle's edge, its inside filled with fill.
    void DrawRectangle(const Rect& rect, uint32_t pen, uint32_t fill);
    // Copies width x height pixels of the bitmap, from (srcX, srcY) in it, to (x, y); only the
    // part that lies inside the bitmap is copied.
    void CopyBitmap(int resourceId, int x, int y, int width, int height, int srcX = 0, int srcY = 0);
    void CopyImage(const PixelImage& image, int x, int y, int width, int height, int srcX = 0, int srcY = 0);
    // Copies the rectangle of the screen into image (resized to fit).
    void SaveRect(const Rect& rect, PixelImage* image) const;
    void DrawText(int x, int y, std::string_view text, const TextStyle& style);

private:
    BackScreen* screen_;
    std::unique_lock<std::mutex> lock_;
    uint32_t* pixels_;
};

}  // namespace sonotrap
