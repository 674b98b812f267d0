#include "app/TGuardMessageBox.h"

#include "download/UrlUtil.h"
#include "resources/TDialogs.h"

#include <QApplication>
#include <QThread>

void TGuardMessageBox::Install()
{
    UrlUtil::SetGuardReporter([](const QString &operation) {
        auto show = [operation] {
            // Over whichever window is in front: the rule knows no window.
            TDialogs::Ask(nullptr, QMessageBox::Warning, QStringLiteral("except"), operation,
                          QMessageBox::Ok | QMessageBox::Cancel);
        };
        // A worker does not wait for the box: the GUI thread may itself be waiting for that worker.
        if (QThread::currentThread() == qApp->thread())
            show();
        else
            QMetaObject::invokeMethod(qApp, show, Qt::QueuedConnection);
    });
}
