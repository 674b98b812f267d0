#pragma once

#include <QLabel>

// A status-bar panel: a message that does not fit ends in "…" and comes back whole once the panel is
// wide enough; while it is cut, the tool tip holds it whole. A long message never widens the window.
class TStatusPanel : public QLabel
{
public:
    using QLabel::QLabel;

    void SetMessage(const QString &text);
    const QString &Message() const { return FMessage; }

    // What the whole message needs, not what is shown of it now.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    // The room the label leaves its text: inside the frame, less the margins and the indent.
    int TextWidth() const;
    void Fit();

    QString FMessage;
};
