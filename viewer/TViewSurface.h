#pragma once

#include <QImage>
#include <QWidget>

// The viewer's display surface: draws its picture stretched into the fitted rectangle of its own
// size on a blank background. The stretched copy is made once per picture and size, so a picture
// far larger than the screen costs one scaling, not one per repaint.
class TViewSurface : public QWidget
{
public:
    explicit TViewSurface(QWidget *parent = nullptr);

    // Drawn from now on; a null picture blanks the surface.
    void SetPicture(const QImage &Picture);
    const QImage &Picture() const { return FPicture; }
    // Where the picture lands at the surface's present size; null when there is none.
    QRect TargetRect() const;
    // How often a stretched copy was made.
    int ScaleCount() const { return FScaleCount; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const QImage &Fitted(QSize size);

    QImage FPicture;
    QImage FFitted;
    qint64 FFittedKey = 0;
    int FScaleCount = 0;
};
