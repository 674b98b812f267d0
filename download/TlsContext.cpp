#include "download/TlsContext.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QPair>
#include <QScopeGuard>

#include <cerrno>
#include <mutex>
#include <utility>

#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
struct TContextCache {
    std::mutex mutex;
    // Loading the trust store costs milliseconds: one context per anchor file serves every job.
    QMap<QString, std::shared_ptr<SSL_CTX>> contexts;
};

TContextCache &cache()
{
    static TContextCache instance;
    return instance;
}

struct TSessionCache {
    ~TSessionCache()
    {
        for (SSL_SESSION *session : std::as_const(sessions))
            SSL_SESSION_free(session);
    }
    std::mutex mutex;
    // Contexts live as long as the program, so their address tells their sessions apart.
    QHash<QPair<const SSL_CTX *, QByteArray>, SSL_SESSION *> sessions;
};

TSessionCache &sessions()
{
    static TSessionCache instance;
    return instance;
}

int KeepSession(SSL *ssl, SSL_SESSION *session)
{
    const auto *key = static_cast<const QByteArray *>(SSL_get_app_data(ssl));
    if (!key || !SSL_SESSION_is_resumable(session))
        return 0;
    std::lock_guard lock(sessions().mutex);
    SSL_SESSION *&slot = sessions().sessions[{SSL_get_SSL_CTX(ssl), *key}];
    if (slot)
        SSL_SESSION_free(slot);
    slot = session;
    // The reference passes to the cache.
    return 1;
}

QString OpenSslErrorText()
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return QString::fromLatin1(text);
}

// Adds the certificates (and revocation lists) of a PEM file to the context's trust store. Only a
// regular file is read: a FIFO or a device named by mistake would block the worker or never end.
bool LoadAnchors(SSL_CTX *ctx, const QString &caFile, QString &error)
{
    // Non-blocking, so that a FIFO put in the file's place after any check cannot hold the open.
    const int fd = ::open(QFile::encodeName(caFile).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = QStringLiteral("CAFile %1 cannot be opened: %2").arg(caFile, qt_error_string(errno));
        return false;
    }
    const auto closeFd = qScopeGuard([fd] { ::close(fd); });
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = QStringLiteral("CAFile %1 is not a regular file").arg(caFile);
        return false;
    }
    const std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_fd(fd, BIO_NOCLOSE), BIO_free);
    STACK_OF(X509_INFO) *items = bio ? PEM_X509_INFO_read_bio(bio.get(), nullptr, nullptr, nullptr) : nullptr;
    const auto freeItems = qScopeGuard([items] { sk_X509_INFO_pop_free(items, X509_INFO_free); });
    X509_STORE *store = SSL_CTX_get_cert_store(ctx);
    int added = 0;
    for (int i = 0; i < (items ? sk_X509_INFO_num(items) : 0); ++i) {
        const X509_INFO *item = sk_X509_INFO_value(items, i);
        if (item->x509 && X509_STORE_add_cert(store, item->x509) == 1)
            ++added;
        if (item->crl && X509_STORE_add_crl(store, item->crl) == 1)
            ++added;
    }
    if (added == 0) {
        const QString why = ERR_peek_error() != 0 ? OpenSslErrorText() : QStringLiteral("no certificate in it");
        error = QStringLiteral("CAFile %1 cannot be loaded: %2").arg(caFile, why);
        return false;
    }
    ERR_clear_error();
    return true;
}

std::shared_ptr<SSL_CTX> MakeContext(const QString &caFile, QString &error)
{
    std::shared_ptr<SSL_CTX> ctx(SSL_CTX_new(TLS_client_method()), SSL_CTX_free);
    if (!ctx) {
        error = OpenSslErrorText();
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION);
    SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_PEER, nullptr);
    // Many servers close without a TLS goodbye; that ends a body as a plain close would, and a
    // body with a length or chunks still tells a cut one from a whole one.
    SSL_CTX_set_options(ctx.get(), SSL_OP_IGNORE_UNEXPECTED_EOF | SSL_OP_NO_RENEGOTIATION);
    SSL_CTX_set_mode(ctx.get(), SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_session_cache_mode(ctx.get(), SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(ctx.get(), KeepSession);
    // A system without a trust store still gets a clear "unknown issuer" per job, not a failure here.
    SSL_CTX_set_default_verify_paths(ctx.get());
    ERR_clear_error();
    if (!caFile.isEmpty() && !LoadAnchors(ctx.get(), caFile, error))
        return nullptr;
    return ctx;
}
} // namespace

std::shared_ptr<SSL_CTX> TTlsContext::For(const QString &caFile, QString &error)
{
    // An anchor file replaced while the program runs is loaded anew.
    const QFileInfo info(caFile);
    const QString key = caFile.isEmpty()
                            ? QString()
                            : caFile + QLatin1Char('|') + QString::number(info.lastModified().toMSecsSinceEpoch())
                                  + QLatin1Char('|') + QString::number(info.size());
    std::lock_guard lock(cache().mutex);
    auto found = cache().contexts.constFind(key);
    if (found != cache().contexts.constEnd())
        return *found;
    std::shared_ptr<SSL_CTX> ctx = MakeContext(caFile, error);
    // A file that failed may be mended while the program runs: only good contexts are kept.
    if (ctx)
        cache().contexts.insert(key, ctx);
    return ctx;
}

void TTlsContext::Resume(SSL *ssl, const QByteArray &key)
{
    std::lock_guard lock(sessions().mutex);
    SSL_SESSION *session = sessions().sessions.value({SSL_get_SSL_CTX(ssl), key});
    if (session)
        SSL_set_session(ssl, session);
}
