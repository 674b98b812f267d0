#pragma once

#include <QMessageBox>

// A message that does not hold up its window: shown over Parent with Parent's caption, it closes
// itself with its OK button while the window stays usable.
namespace TNotice {

void Show(QWidget *Parent, QMessageBox::Icon Icon, const QString &Text);

} // namespace TNotice
