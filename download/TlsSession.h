#pragma once

#include <QString>

#include <memory>

#include <openssl/types.h>

// One TLS client session over a connected non-blocking socket: the handshake with SNI, the
// certificate checked against the trust store and the host name or address, then records both ways.
// Every call returns at once; what it waits for says which readiness to wait for.
class TTlsSession
{
public:
    enum TWait { tlsNone, tlsRead, tlsWrite };

    // port: with the host, it names the server whose earlier session may be resumed.
    TTlsSession(int fd, const QString &host, const QString &port, const QString &caFile);
    ~TTlsSession();
    TTlsSession(const TTlsSession &) = delete;
    TTlsSession &operator=(const TTlsSession &) = delete;

    // Drives the handshake; true once it is done, false while it waits or after it failed.
    bool Handshake(TWait &wait);
    bool Established() const { return FEstablished; }
    bool Failed() const { return !FFailure.isEmpty(); }
    // The server's certificate was refused: asking again will not change that.
    bool CertificateRefused() const { return FCertificateRefused; }
    QString Failure() const { return FFailure; }

    // Plain bytes in and out: > 0 bytes, 0 after the peer's close, -1 while waiting (wait set) or
    // on a failure (Failed()).
    int Read(void *buffer, int size, TWait &wait);
    int Write(const void *data, int size, TWait &wait);
    // Decrypted bytes are waiting inside the session, which the socket's readiness will not show.
    bool Pending() const;
    // Sends the goodbye if the connection takes it now; never waits.
    void Shutdown();

private:
    int Outcome(int result, TWait &wait);
    void FailWith(const QString &text);

    SSL *FSsl = nullptr;
    // Kept for as long as the session uses it.
    std::shared_ptr<SSL_CTX> FContext;
    QByteArray FSessionKey;
    bool FEstablished = false;
    bool FCertificateRefused = false;
    QString FFailure;
};
