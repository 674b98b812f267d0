#include "TGuardMessageBox.h"

#include "UrlUtil.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

void TGuardMessageBox::Install()
{
    UrlUtil::SetGuardReporter([](const QString &operation) {
        auto show = [operation] {
            QMessageBox::warning(nullptr, QStringLiteral("except"), operation, QMessageBox::Ok | QMessageBox::Cancel);
        };
        // A worker does not wait for the box: the GUI thread may itself be waiting for that worker.
        if (QThread::currentThread() == qApp->thread())
            show();
        else
            QMetaObject::invokeMethod(qApp, show, Qt::QueuedConnection);
    });
}
