#include "core/THandOver.h"

#include "core/Brdcast.h"
#include "core/sharedmm.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

bool THandOver::Refuse(const QString &Reason)
{
    FReason = Reason;
    return false;
}

bool THandOver::Send(const QString &FileName)
{
    FReason.clear();
    if (FileName.isEmpty())
        return Refuse(QStringLiteral("no file name given"));
    const QByteArray name = QFile::encodeName(QFileInfo(FileName).absoluteFilePath());
    if (name.size() >= BlockSize)
        return Refuse(
            QStringLiteral("the file name takes %1 bytes; at most %2 fit").arg(name.size()).arg(BlockSize - 1));
    TSharedMemory block;
    try {
        block.SetBlockSize(BlockSize);
        block.SetBlockName(FName);
    } catch (const ESharedMemory &e) {
        return Refuse(QString::fromLatin1(e.what()));
    }
    std::memcpy(block.Memory(), name.constData(), static_cast<size_t>(name.size()) + 1);

    TBroadcast broadcast;
    broadcast.EnableInput = false;
    broadcast.SetKey(FName);
    if (broadcast.Broadcast() == 0)
        return Refuse(QStringLiteral("no running copy of the program listens"));
    return true;
}

QString THandOver::FileNameIn(const TSharedMemory &Block)
{
    const char *data = Block.Memory();
    if (!data)
        return {};
    const void *end = std::memchr(data, 0, static_cast<size_t>(Block.BlockSize()));
    const qsizetype length = end ? static_cast<const char *>(end) - data : Block.BlockSize();
    return QFile::decodeName(QByteArray(data, length));
}
