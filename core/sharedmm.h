#pragma once

#include <QByteArray>
#include <QString>

#include <stdexcept>

class ESharedMemory : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A named block of memory shared by the programs of one user. The block lives while some program
// holds it open: the last one to close it removes it, so no block outlives its users.
class TSharedMemory
{
public:
    TSharedMemory() = default;
    ~TSharedMemory();
    TSharedMemory(const TSharedMemory &) = delete;
    TSharedMemory &operator=(const TSharedMemory &) = delete;

    // Setting the size or the name closes the block and opens it again once both are set;
    // ESharedMemory when that fails.
    int BlockSize() const { return FBlockSize; }
    void SetBlockSize(int BlockSize);
    QString BlockName() const { return FBlockName; }
    void SetBlockName(const QString &BlockName);
    // True when another holder had made the block before this one opened it.
    bool BlockExists() const { return FBlockExists; }
    // BlockSize writable bytes; null while closed.
    char *Memory() const { return FMemory; }

    // The system's name of a block: "/" + name + "." + the user's number, so users never meet.
    static QByteArray SystemName(const QString &BlockName);

private:
    void Open();
    int OpenHandle(const QByteArray &name);
    void Close();

    int FBlockSize = 0;
    QString FBlockName;
    bool FBlockExists = false;
    int FHandle = -1;
    char *FMemory = nullptr;
};
