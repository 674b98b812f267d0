#pragma once

#include "tests/fuzz/TAnswerServer.h"

#include <QDir>
#include <QFile>

#include <atomic>

#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

// The answer server behind real TLS: a certificate for 127.0.0.1 made in memory (written to
// CaFile() for the client to trust), the answer's plain bytes written in pieces of SetPiece() bytes,
// so that the fuzzed stream reaches the client in records of any size.
class TTlsAnswerServer : public TAnswerServer
{
public:
    explicit TTlsAnswerServer(const QByteArray &requestEnd) : TAnswerServer(requestEnd)
    {
        EVP_PKEY *key = EVP_EC_gen("P-256");
        X509 *cert = X509_new();
        ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
        X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
        X509_gmtime_adj(X509_getm_notAfter(cert), 30L * 24 * 3600);
        X509_set_pubkey(cert, key);
        X509_NAME *name = X509_get_subject_name(cert);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char *>("fuzz"), -1, -1,
                                   0);
        X509_set_issuer_name(cert, name);
        X509V3_CTX ctx;
        X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
        X509_EXTENSION *alt = X509V3_EXT_conf_nid(nullptr, &ctx, NID_subject_alt_name, "IP:127.0.0.1");
        X509_add_ext(cert, alt, -1);
        X509_EXTENSION_free(alt);
        X509_sign(cert, key, EVP_sha256());
        FCtx = SSL_CTX_new(TLS_server_method());
        if (!key || !FCtx || SSL_CTX_use_certificate(FCtx, cert) != 1 || SSL_CTX_use_PrivateKey(FCtx, key) != 1)
            std::abort();
        FCaFile = QDir::temp().filePath(QStringLiteral("fuzz-tls-%1.pem").arg(Port()));
        BIO *out = BIO_new_file(FCaFile.toLocal8Bit().constData(), "w");
        if (!out || PEM_write_bio_X509(out, cert) != 1)
            std::abort();
        BIO_free(out);
        X509_free(cert);
        EVP_PKEY_free(key);
    }
    ~TTlsAnswerServer() override { QFile::remove(FCaFile); }

    QString CaFile() const { return FCaFile; }
    void SetPiece(size_t piece) { FPiece = piece; }

protected:
    bool Open(int peer) override
    {
        FSsl = SSL_new(FCtx);
        SSL_set_fd(FSsl, peer);
        if (SSL_accept(FSsl) == 1)
            return true;
        SSL_free(FSsl);
        FSsl = nullptr;
        return false;
    }
    ssize_t Read(int, char *buffer, size_t size) override
    {
        const int got = SSL_read(FSsl, buffer, static_cast<int>(size));
        return got > 0 ? got : -1;
    }
    ssize_t Write(int, const char *data, size_t size) override
    {
        const int put = SSL_write(FSsl, data, static_cast<int>(std::min(size, FPiece.load())));
        return put > 0 ? put : -1;
    }
    void Finish(int peer) override
    {
        SSL_shutdown(FSsl);
        SSL_free(FSsl);
        FSsl = nullptr;
        shutdown(peer, SHUT_WR);
    }

private:
    SSL_CTX *FCtx = nullptr;
    SSL *FSsl = nullptr;
    QString FCaFile;
    std::atomic<size_t> FPiece{16384};
};
