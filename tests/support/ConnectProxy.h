#pragma once

#include <QByteArray>
#include <QList>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

// A proxy on 127.0.0.1 that opens tunnels: it reads a CONNECT request, connects to the address it
// names, answers 200 and relays bytes both ways. It keeps every request head it read, so a test
// can tell what the proxy saw; RefuseWith makes it answer that text instead and close.
class TConnectProxy
{
public:
    TConnectProxy();
    ~TConnectProxy();

    quint16 Port() const { return FPort; }
    QList<QByteArray> Heads() const;
    void RefuseWith(const QByteArray &answer);

private:
    void AcceptLoop();
    void Serve(int client);

    int FListen = -1;
    quint16 FPort = 0;
    std::atomic<bool> FStopping{false};
    std::thread FAcceptor;
    mutable std::mutex FMutex;
    std::vector<std::thread> FSessions;
    QList<QByteArray> FHeads;
    QByteArray FRefusal;
};
