#include "core/sharedmm.h"

#include "core/BaseLog.h"

#include <QUrl>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *const CreateError = "TSharedmemory.create handle error";
// Another holder may remove the block between our open and our lock; a few tries settle that.
constexpr int OpenAttempts = 10;

// Drops a handle. The last holder removes the name, so a block lives exactly as long as someone holds
// it; a block already unlinked leaves the name alone, which may belong to a newer block by now.
bool ReleaseHandle(int fd, const QByteArray &name)
{
    struct stat info;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &info) == 0 && info.st_nlink > 0)
        ::shm_unlink(name.constData());
    return ::close(fd) == 0;
}

} // namespace

TSharedMemory::~TSharedMemory()
{
    try {
        Close();
    } catch (const ESharedMemory &e) {
        qCWarning(lcBase, "the shared block could not close: %s", e.what());
    }
}

void TSharedMemory::SetBlockSize(int BlockSize)
{
    Close();
    FBlockSize = BlockSize;
    Open();
}

void TSharedMemory::SetBlockName(const QString &BlockName)
{
    Close();
    FBlockName = BlockName;
    Open();
}

QByteArray TSharedMemory::SystemName(const QString &BlockName)
{
    return '/' + QUrl::toPercentEncoding(BlockName, {}, ".") + '.' + QByteArray::number(::geteuid());
}

void TSharedMemory::Open()
{
    if (FBlockSize <= 0 || FBlockName.isEmpty())
        return;
    const QByteArray name = SystemName(FBlockName);
    for (int attempt = 0; attempt < OpenAttempts && FHandle < 0; ++attempt)
        FHandle = OpenHandle(name);
    if (FHandle < 0)
        throw ESharedMemory(CreateError);
    void *view = ::mmap(nullptr, static_cast<size_t>(FBlockSize), PROT_READ | PROT_WRITE, MAP_SHARED, FHandle, 0);
    if (view == MAP_FAILED) {
        ReleaseHandle(FHandle, name);
        FHandle = -1;
        FBlockExists = false;
        throw ESharedMemory("Tfilemapping map view error");
    }
    FMemory = static_cast<char *>(view);
}

// A locked handle on the block, made or opened; -1 when it vanished meanwhile and needs another try.
int TSharedMemory::OpenHandle(const QByteArray &name)
{
    FBlockExists = false;
    int fd = ::shm_open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) {
        FBlockExists = true;
        fd = ::shm_open(name.constData(), O_RDWR | O_CLOEXEC, 0);
        if (fd < 0 && errno == ENOENT)
            return -1;
    }
    if (fd < 0)
        throw ESharedMemory(CreateError);
    // Every holder keeps a shared lock, so that the one closing can tell whether it is the last.
    struct stat info;
    if (::flock(fd, LOCK_SH) != 0 || ::fstat(fd, &info) != 0) {
        ReleaseHandle(fd, name);
        throw ESharedMemory(CreateError);
    }
    if (info.st_nlink == 0) {
        ::close(fd);
        return -1;
    }
    // A smaller block made by another program is grown: a page past its end would crash us on touch.
    if (info.st_size < FBlockSize && ::ftruncate(fd, FBlockSize) != 0) {
        ReleaseHandle(fd, name);
        throw ESharedMemory(CreateError);
    }
    return fd;
}

void TSharedMemory::Close()
{
    const char *error = nullptr;
    if (FMemory && ::munmap(FMemory, static_cast<size_t>(FBlockSize)) != 0)
        error = "TFilemapping unmapview error";
    FMemory = nullptr;
    if (FHandle >= 0 && !ReleaseHandle(FHandle, SystemName(FBlockName)) && !error)
        error = "TFileMapping close handle error";
    FHandle = -1;
    FBlockExists = false;
    if (error)
        throw ESharedMemory(error);
}
