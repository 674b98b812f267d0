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
    QString Refusal() const { return m_refusal; }
    // The process holding the lock when Take failed; 0 when it is not known.
    qint64 HolderPid() const { return m_holder; }

    static QString LockFile(const QString &programFolder);

private:
    std::unique_ptr<QLockFile> m_lock;
    QString m_refusal;
    qint64 m_holder = 0;
};
