#pragma once

class QCoreApplication;

// Qt's own texts (the buttons and captions of file dialogs and message boxes) in Japanese, as the rest of
// the interface is.
namespace TQtTranslation {

// Installs Qt's Japanese translation on App; false when the translation is not installed on this system.
bool Install(QCoreApplication &App);

} // namespace TQtTranslation
