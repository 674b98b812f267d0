#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QSocketNotifier;

// A message by name between programs of the same user. Every component with a key listens on a
// Unix datagram socket in the key's folder of the user's runtime folder; a broadcast sends one
// datagram to each socket there. Messages are read on the thread that owns the component.
class TBroadcast : public QObject
{
public:
    using TBroadcastMsgEvent = std::function<void(TBroadcast *Sender)>;

    explicit TBroadcast(QObject *parent = nullptr);
    ~TBroadcast() override;
    TBroadcast(const TBroadcast &) = delete;
    TBroadcast &operator=(const TBroadcast &) = delete;

    QString Key() const { return FKey; }
    // Registers under the new key (an empty key only unregisters).
    void SetKey(const QString &Key);
    // True while a key is registered and its socket listens.
    bool Registered() const { return FSocket >= 0; }

    bool EnableInput = true;
    bool EnableOutput = true;
    TBroadcastMsgEvent OnBroadcastMsg;

    // Sends the registered message to every other listener of the key and removes sockets that
    // nobody holds any more. Returns how many listeners it reached (0 with EnableOutput false).
    int Broadcast();

    // The user's private runtime folder: $XDG_RUNTIME_DIR, else a folder of ours with mode 0700 in
    // the temporary folder. Empty when no safe folder can be had.
    static QString UserRuntimeFolder();
    // The folder in which the listeners of Key keep their sockets; empty when there is none.
    static QString KeyFolder(const QString &Key);

private:
    void Register();
    void Unregister();
    void ReadMessages();

    QString FKey;
    QString FSocketPath;
    int FSocket = -1;
    QSocketNotifier *FNotifier = nullptr;
};
