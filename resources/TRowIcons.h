#pragma once

#include <QImage>

// The pictures of the job list's row images (not started, complete, partly received, running,
// part complete), drawn in code so that each stays distinct at 16 pixels.
namespace TRowIcons {
// Positions of the row images in the toolbar's image list.
constexpr int NotStarted = 0;
constexpr int Complete = 16;
constexpr int Partly = 17;
constexpr int Running = 18;
constexpr int PartComplete = 19;

QImage Image(int imageIndex);
} // namespace TRowIcons
