#include "download/TSha256.h"

#include <QIODevice>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include <openssl/evp.h>

namespace {
// Large enough that handing a block over costs nothing next to hashing it.
constexpr qsizetype BlockSize = 1 << 20;
// Blocks waiting at most: a body that comes faster than it is hashed waits, not memory.
constexpr size_t MaxQueued = 8;
} // namespace

// The hash's state and the thread that feeds it. The state belongs to the thread while blocks are
// queued or being hashed, and to the caller once Drain has returned.
struct TSha256::TState {
    EVP_MD_CTX *ctx = EVP_MD_CTX_new();
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<QByteArray> queue;
    bool busy = false;
    bool stop = false;
    std::thread thread;

    ~TState()
    {
        {
            const std::lock_guard lock(mutex);
            stop = true;
        }
        changed.notify_all();
        if (thread.joinable())
            thread.join();
        EVP_MD_CTX_free(ctx);
    }

    void Run()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return stop || !queue.empty(); });
            if (queue.empty())
                return;
            const QByteArray block = std::move(queue.front());
            queue.pop_front();
            busy = true;
            lock.unlock();
            EVP_DigestUpdate(ctx, block.constData(), size_t(block.size()));
            lock.lock();
            busy = false;
            changed.notify_all();
        }
    }

    void Hand(QByteArray block)
    {
        std::unique_lock lock(mutex);
        // Started with the first full block: a small file is hashed by its caller and needs none.
        if (!thread.joinable())
            thread = std::thread([this] { Run(); });
        changed.wait(lock, [this] { return queue.size() < MaxQueued; });
        queue.push_back(std::move(block));
        changed.notify_all();
    }

    void Drain()
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return queue.empty() && !busy; });
    }
};

TSha256::TSha256() : FState(std::make_unique<TState>())
{
    Reset();
}

TSha256::~TSha256() = default;

void TSha256::Reset()
{
    FState->Drain();
    EVP_DigestInit_ex(FState->ctx, EVP_sha256(), nullptr);
    FBlock.clear();
    FSize = 0;
}

void TSha256::Add(const char *data, qint64 len)
{
    if (len <= 0)
        return;
    FSize += len;
    while (len > 0) {
        if (FBlock.capacity() < BlockSize)
            FBlock.reserve(BlockSize);
        const qsizetype take = std::min<qint64>(len, BlockSize - FBlock.size());
        FBlock.append(data, take);
        data += take;
        len -= take;
        if (FBlock.size() == BlockSize)
            FState->Hand(std::exchange(FBlock, QByteArray()));
    }
}

QByteArray TSha256::HexResult()
{
    FState->Drain();
    EVP_DigestUpdate(FState->ctx, FBlock.constData(), size_t(FBlock.size()));
    FBlock.clear();
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
    QByteArray block(BlockSize, Qt::Uninitialized);
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
