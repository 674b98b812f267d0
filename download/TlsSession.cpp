#include "download/TlsSession.h"

#include "download/TlsContext.h"

#include <QHostAddress>
#include <QUrl>

#include <cerrno>
#include <cstring>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

namespace {
// Why a certificate was refused, in the words a user can act on.
QString CertificateProblem(long code)
{
    switch (code) {
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        return QStringLiteral("unknown issuer");
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return QStringLiteral("wrong name");
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return QStringLiteral("expired");
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return QStringLiteral("not yet valid");
    default:
        return QString::fromLatin1(X509_verify_cert_error_string(code));
    }
}

// The socket under a session, written with MSG_NOSIGNAL: a write to a server that has gone away
// must fail with its error, not end the program with SIGPIPE as the stock socket layer would.
int SocketWrite(BIO *bio, const char *data, int size)
{
    const ssize_t sent = ::send(static_cast<int>(BIO_get_fd(bio, nullptr)), data, static_cast<size_t>(size),
                                MSG_NOSIGNAL);
    BIO_clear_retry_flags(bio);
    if (sent < 0 && (errno == EAGAIN || errno == EINTR))
        BIO_set_retry_write(bio);
    return static_cast<int>(sent);
}

const BIO_METHOD *SocketMethod()
{
    static BIO_METHOD *method = [] {
        BIO_METHOD *m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR, "pelmor socket");
        const BIO_METHOD *stock = BIO_s_socket();
        BIO_meth_set_write(m, SocketWrite);
        BIO_meth_set_read(m, BIO_meth_get_read(stock));
        BIO_meth_set_puts(m, BIO_meth_get_puts(stock));
        BIO_meth_set_ctrl(m, BIO_meth_get_ctrl(stock));
        BIO_meth_set_create(m, BIO_meth_get_create(stock));
        BIO_meth_set_destroy(m, BIO_meth_get_destroy(stock));
        return m;
    }();
    return method;
}

QString LastOpenSslError()
{
    const unsigned long code = ERR_peek_last_error();
    ERR_clear_error();
    if (code == 0)
        return QStringLiteral("connection closed");
    const char *reason = ERR_reason_error_string(code);
    return QString::fromLatin1(reason ? reason : "unknown error");
}
} // namespace

TTlsSession::TTlsSession(int fd, const QString &host, const QString &port, const QString &caFile)
{
    QString error;
    FContext = TTlsContext::For(caFile, error);
    if (!FContext) {
        // Without the anchor the user named, no certificate could be trusted as meant.
        FCertificateRefused = true;
        FailWith(error);
        return;
    }
    FSsl = SSL_new(FContext.get());
    BIO *bio = FSsl ? BIO_new(SocketMethod()) : nullptr;
    if (!bio) {
        FailWith(LastOpenSslError());
        return;
    }
    // The socket stays ours: the session never closes it.
    BIO_set_fd(bio, fd, BIO_NOCLOSE);
    SSL_set_bio(FSsl, bio, bio);
    const QHostAddress address(host);
    const QByteArray name = address.isNull() ? QUrl::toAce(host) : host.toLatin1();
    X509_VERIFY_PARAM *param = SSL_get0_param(FSsl);
    if (address.isNull()) {
        // SNI names the site; an address is never sent as a name.
        SSL_set_tlsext_host_name(FSsl, name.constData());
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        X509_VERIFY_PARAM_set1_host(param, name.constData(), static_cast<size_t>(name.size()));
    } else {
        X509_VERIFY_PARAM_set1_ip_asc(param, name.constData());
    }
    FSessionKey = name + ':' + port.toLatin1();
    SSL_set_app_data(FSsl, &FSessionKey);
    TTlsContext::Resume(FSsl, FSessionKey);
    SSL_set_connect_state(FSsl);
}

TTlsSession::~TTlsSession()
{
    if (FSsl)
        SSL_free(FSsl);
}

bool TTlsSession::Handshake(TWait &wait)
{
    wait = tlsNone;
    if (FEstablished || Failed())
        return FEstablished;
    const int result = SSL_do_handshake(FSsl);
    if (result == 1) {
        FEstablished = true;
        return true;
    }
    const long verify = SSL_get_verify_result(FSsl);
    Outcome(result, wait);
    if (wait != tlsNone)
        return false;
    if (!Failed())
        FailWith(QStringLiteral("connection closed"));
    if (verify != X509_V_OK) {
        FCertificateRefused = true;
        FFailure = QStringLiteral("TLS certificate refused: ") + CertificateProblem(verify);
    }
    return false;
}

int TTlsSession::Read(void *buffer, int size, TWait &wait)
{
    wait = tlsNone;
    if (!FEstablished)
        return -1;
    return Outcome(SSL_read(FSsl, buffer, size), wait);
}

int TTlsSession::Write(const void *data, int size, TWait &wait)
{
    wait = tlsNone;
    if (!FEstablished)
        return -1;
    return Outcome(SSL_write(FSsl, data, size), wait);
}

int TTlsSession::Outcome(int result, TWait &wait)
{
    if (result > 0)
        return result;
    const int error = SSL_get_error(FSsl, result);
    switch (error) {
    case SSL_ERROR_WANT_READ:
        wait = tlsRead;
        return -1;
    case SSL_ERROR_WANT_WRITE:
        wait = tlsWrite;
        return -1;
    case SSL_ERROR_ZERO_RETURN:
        return 0;
    case SSL_ERROR_SYSCALL:
        if (ERR_peek_error() == 0) {
            const int code = errno;
            // A close without a goodbye ends the stream; during the handshake it is a failure.
            if (FEstablished && code == 0)
                return 0;
            FailWith(code ? QString::fromLocal8Bit(std::strerror(code)) : QStringLiteral("connection closed"));
            return -1;
        }
        [[fallthrough]];
    default:
        FailWith(LastOpenSslError());
        return -1;
    }
}

bool TTlsSession::Pending() const
{
    return FSsl && SSL_has_pending(FSsl);
}

void TTlsSession::Shutdown()
{
    if (FSsl && FEstablished && !Failed())
        SSL_shutdown(FSsl);
    ERR_clear_error();
}

void TTlsSession::FailWith(const QString &text)
{
    FFailure = QStringLiteral("TLS: ") + text;
}
