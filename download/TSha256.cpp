#include "download/TSha256.h"

#include <QIODevice>

#include <algorithm>

#include <openssl/evp.h>

struct TSha256::TState {
    EVP_MD_CTX *ctx = EVP_MD_CTX_new();
    ~TState() { EVP_MD_CTX_free(ctx); }
};

TSha256::TSha256() : FState(std::make_unique<TState>())
{
    Reset();
}

TSha256::~TSha256() = default;

void TSha256::Reset()
{
    EVP_DigestInit_ex(FState->ctx, EVP_sha256(), nullptr);
    FSize = 0;
}

void TSha256::Add(const char *data, qint64 len)
{
    if (len <= 0)
        return;
    EVP_DigestUpdate(FState->ctx, data, size_t(len));
    FSize += len;
}

QByteArray TSha256::HexResult()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(FState->ctx, digest, &size);
    return QByteArray(reinterpret_cast<const char *>(digest), int(size)).toHex();
}

bool TSha256::AddFrom(QIODevice &device, qint64 bytes, QString *reason)
{
    if (!device.seek(0)) {
        *reason = device.errorString();
        return false;
    }
    QByteArray block(1 << 20, Qt::Uninitialized);
    while (bytes > 0) {
        const qint64 n = device.read(block.data(), std::min<qint64>(bytes, block.size()));
        if (n <= 0) {
            *reason = n < 0 ? device.errorString() : QStringLiteral("the file is shorter than expected");
            return false;
        }
        Add(block.constData(), n);
        bytes -= n;
    }
    return true;
}
