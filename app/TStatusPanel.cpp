#include "app/TStatusPanel.h"

void TStatusPanel::SetMessage(const QString &text)
{
    FMessage = text;
    Fit();
}

QSize TStatusPanel::sizeHint() const
{
    const QSize shown = QLabel::sizeHint();
    const QFontMetrics metrics = fontMetrics();
    return {shown.width() - metrics.horizontalAdvance(text()) + metrics.horizontalAdvance(FMessage), shown.height()};
}

QSize TStatusPanel::minimumSizeHint() const
{
    return {0, QLabel::minimumSizeHint().height()};
}

void TStatusPanel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    Fit();
}

int TStatusPanel::TextWidth() const
{
    int width = contentsRect().width() - 2 * margin();
    // The label keeps half an "x" off a framed edge that its text is aligned to.
    int inset = indent();
    if (inset < 0 && frameWidth() > 0)
        inset = fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2 - margin();
    if (inset > 0)
        width -= inset * ((alignment() & Qt::AlignLeft ? 1 : 0) + (alignment() & Qt::AlignRight ? 1 : 0));
    return width;
}

void TStatusPanel::Fit()
{
    const QString shown = fontMetrics().elidedText(FMessage, Qt::ElideRight, TextWidth());
    if (shown != text())
        setText(shown);
    setToolTip(shown == FMessage ? QString() : FMessage);
}
