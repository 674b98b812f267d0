#pragma once

#include <QString>

#include <memory>

#include <openssl/types.h>

// The settings every TLS client session of the program shares: TLS 1.2 or 1.3, the system's trust
// store (SSL_CERT_FILE and SSL_CERT_DIR work as they do for curl and wget) and, when given, one more
// trust anchor. Certificates are always verified; nothing here turns that off.
class TTlsContext
{
public:
    // The shared context for this extra anchor file (empty: none), made on first use; null, with
    // error set, when the file cannot be loaded.
    static std::shared_ptr<SSL_CTX> For(const QString &caFile, QString &error);

    // A server's session is kept under a key (its name and port) and offered again on the next
    // connection to it: a resumed handshake skips the certificate chain and most of the work.
    // The key is read from the SSL object's app data (a QByteArray) when the server hands a session.
    static void Resume(SSL *ssl, const QByteArray &key);
};
