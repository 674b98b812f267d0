#pragma once

#include "viewer/TIconList.h"

#include <QByteArray>

#include <stdexcept>

// The bytes do not hold the icons they claim: a bitmap whose header disagrees with its bytes, a grid
// with fewer cells than icons, an image and a mask of different grids.
class EIconGrid : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The icons as an image list stores them: the size of the image bitmap file, the number of icons,
// then an image bitmap file (24 bits a pixel) and a mask bitmap file (1 bit, set where transparent),
// both holding the icons in 64 by 64 cells, left to right, then top to bottom.
namespace TIconGrid {

// Cells across the grid: a few, so that the bitmaps stay far from any width limit.
constexpr int Columns = 4;

QByteArray Pack(const TIconList &Icons);
// The icons of packed bytes (bitmaps of any depth the bitmap reader knows); EIconGrid on any fault.
TIconList Unpack(const QByteArray &Bytes);

} // namespace TIconGrid
