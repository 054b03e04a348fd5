#pragma once
#include <atomic>
#include <cstdint>

#include "platform/BackScreen.h"
#include "platform/MainWindow.h"

namespace sonotrap {

// Creates the back screen's pixels; on failure tells the user with the two boxes the start-up
// sequence shows and returns false (nothing is drawn then).
bool CreateBackScreen(BackScreen& screen, MainWindow& window);

// The start-up picture: background, title, button frame, Start button and the idle mode strip
// with Monitor selected; sets modeIndex to 0, invalidates the whole screen and updates.
void DrawStaticScreen(BackScreen& screen, std::atomic<int32_t>& modeIndex);

// The frame around the mode strip and the button: black outline, white inside.
void DrawButtonFrame(BackScreen::Canvas& canvas);

}  // namespace sonotrap
