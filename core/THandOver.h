#pragma once

#include <QString>

class TSharedMemory;

// Hands a file name to the running program's viewer: the name goes, zero-terminated, to the start
// of the shared block, and only then are the listeners told, so that each finds it there. The
// listeners keep the block open; it goes away when the last holder closes it.
class THandOver
{
public:
    static constexpr int BlockSize = 1000;
    // The key of the message and the name of the block.
    static QString DefaultName() { return QStringLiteral("torvexalin"); }

    explicit THandOver(const QString &Name = DefaultName()) : FName(Name) {}

    // Sends the absolute form of FileName, since the viewer runs in another folder. False, with
    // Reason() set, when the name does not fit in the block or nobody listens.
    bool Send(const QString &FileName);
    QString Reason() const { return FReason; }

    // The name in a block, up to its terminating zero and never past the block's end.
    static QString FileNameIn(const TSharedMemory &Block);

private:
    bool Refuse(const QString &Reason);

    QString FName;
    QString FReason;
};
