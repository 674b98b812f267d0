#include "resources/TToolButtons.h"

#include "resources/TToolIcons.h"

#include <QToolBar>
#include <QToolButton>

QToolButton *TToolButtons::Add(QToolBar *bar, const QString &iconName, const QString &hint)
{
    auto *button = new QToolButton(bar);
    button->setIcon(TToolIcons::Themed(iconName));
    button->setToolTip(hint);
    bar->addWidget(button);
    return button;
}
