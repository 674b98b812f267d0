#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QIODevice;

// SHA-256 fed piece by piece, as a body is written. The hashing itself runs on a thread of its own,
// a block at a time, so that on a machine with a core to spare it costs the download no time; the
// system's crypto library does it, several times faster here than the toolkit's own hash.
class TSha256
{
public:
    TSha256();
    ~TSha256();
    TSha256(const TSha256 &) = delete;
    TSha256 &operator=(const TSha256 &) = delete;

    // Starts over with nothing hashed.
    void Reset();
    void Add(const char *data, qint64 len);
    // Bytes added since the last Reset.
    qint64 Size() const { return FSize; }
    // The hash of what was added, 64 lower-case hex digits; the state is spent until the next Reset.
    QByteArray HexResult();

    // Adds the first bytes of device, read from its start; false with the reason when it cannot read them all.
    bool AddFrom(QIODevice &device, qint64 bytes, QString *reason);

private:
    struct TState;
    std::unique_ptr<TState> FState;
    // Bytes gathered for the next block the hashing thread is given.
    QByteArray FBlock;
    qint64 FSize = 0;
};
