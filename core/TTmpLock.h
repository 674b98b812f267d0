#pragma once

#include <QString>

#include <memory>

class QLockFile;

// Keeps two runs (the window program, batch runs) from writing the same partial files: a lock on
// the program folder's "tmp", held for as long as the run lives. A lock left by a process that
// died is taken over.
class TTmpLock
{
public:
    TTmpLock();
    ~TTmpLock();

    // Takes the lock of programFolder's tmp, which must exist; false when another live process holds it.
    bool Take(const QString &programFolder);
    // Lets the lock go: the run no longer writes into tmp.
    void Release();
    // Why Take failed, naming the folder and the process that holds it.
    QString Refusal() const { return FRefusal; }
    // The process holding the lock when Take failed; 0 when it is not known.
    qint64 HolderPid() const { return FHolder; }

    static QString LockFile(const QString &programFolder);

private:
    std::unique_ptr<QLockFile> FLock;
    QString FRefusal;
    qint64 FHolder = 0;
};
