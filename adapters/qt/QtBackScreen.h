#pragma once
#include <QFont>
#include <QRect>
#include <QString>
#include <map>

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
    QFont font_;
    int fontHeight_ = 0;
    int fontAscent_ = 0;
    std::map<int, PixelImage> bitmaps_;
};

// Loads a resource bitmap as 0x00RRGGBB pixels; false when it is missing.
bool LoadResourceBitmap(int resourceId, PixelImage* image);

}  // namespace sonotrap
