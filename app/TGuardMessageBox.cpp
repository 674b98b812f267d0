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
        if (QThread::currentThread() == qApp->thread())
            show();
        else
            QMetaObject::invokeMethod(qApp, show, Qt::BlockingQueuedConnection);
    });
}
