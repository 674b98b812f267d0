#include "TToolButtons.h"

#include "TToolIcons.h"

#include <QToolBar>
#include <QToolButton>

QToolButton *TToolButtons::Add(QToolBar *bar, const QString &symbol, const QColor &tile, const QString &hint)
{
    auto *button = new QToolButton(bar);
    button->setIcon(TToolIcons::Glyph(symbol, tile));
    button->setToolTip(hint);
    bar->addWidget(button);
    return button;
}
