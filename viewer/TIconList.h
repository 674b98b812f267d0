#pragma once

#include <QImage>
#include <QList>

// The thumbnails: 64 by 64 pixel icons, each with its transparency mask (1 bit per pixel, set
// where the icon is transparent).
class TIconList
{
public:
    static constexpr int Width = 64;
    static constexpr int Height = 64;

    int Count() const { return int(FImages.size()); }
    // Keeps the top-left 64 by 64 pixels of image; without a mask the icon is opaque all over.
    void Add(const QImage &image, const QImage &mask = QImage());
    void Clear();
    const QImage &Image(int index) const { return FImages.at(index); }
    const QImage &Mask(int index) const { return FMasks.at(index); }

private:
    QList<QImage> FImages;
    QList<QImage> FMasks;
};
