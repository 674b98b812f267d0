#include "Brdcast.h"
#include "ScriptedServer.h"
#include "THandOver.h"
#include "TempFolder.h"
#include "sharedmm.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Every test gets a runtime folder of its own, so no real copy of the program hears it.
class BroadcastTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        FSaved = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(FRuntime.path()));
    }
    void TearDown() override { Restore("XDG_RUNTIME_DIR", FSaved); }

    static void Restore(const char *name, const QByteArray &value)
    {
        value.isNull() ? void(qunsetenv(name)) : void(qputenv(name, value));
    }

    // Unique per test, for the shared block that lives outside the runtime folder.
    QString Key() const { return QStringLiteral("key-") + QFileInfo(FRuntime.path()).fileName(); }

    TTempFolder FRuntime;
    QByteArray FSaved;
};

struct TListener
{
    TBroadcast Component;
    int Heard = 0;

    explicit TListener(const QString &key)
    {
        Component.OnBroadcastMsg = [this](TBroadcast *) { ++Heard; };
        Component.SetKey(key);
    }
};

// What a listener that ended abruptly leaves behind: a socket file nobody holds.
void LeaveStaleSocket(const QString &path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof(address.sun_path) - 1);
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)), 0);
    ::close(fd);
}

} // namespace

TEST_F(BroadcastTest, ReachesOtherListenersOfItsKeyAndIgnoredWhereInputIsOff)
{
    TListener sender(Key()), listener(Key()), deaf(Key()), stranger(Key() + QStringLiteral("x"));
    deaf.Component.EnableInput = false;
    ASSERT_TRUE(listener.Component.Registered());

    EXPECT_EQ(sender.Component.Broadcast(), 2) << "counts the listener and the deaf one, not itself";
    ASSERT_TRUE(WaitForEvents([&] { return listener.Heard == 1; }));
    // Every datagram was queued before Broadcast returned: one more pass delivers all of them.
    QCoreApplication::processEvents();
    EXPECT_EQ(deaf.Heard, 0) << "EnableInput false must ignore the message";
    EXPECT_EQ(sender.Heard, 0) << "a sender must not hear itself";
    EXPECT_EQ(stranger.Heard, 0) << "another key is another message";

    sender.Component.EnableOutput = false;
    EXPECT_EQ(sender.Component.Broadcast(), 0);
}

TEST_F(BroadcastTest, SocketsNobodyHoldsAreRemovedAndNotCounted)
{
    TListener sender(Key()), listener(Key());
    const QString stale = TBroadcast::KeyFolder(Key()) + QStringLiteral("/999999.1");
    LeaveStaleSocket(stale);
    const QString otherFile = TBroadcast::KeyFolder(Key()) + QStringLiteral("/notes");
    QFile(otherFile).open(QIODevice::WriteOnly);

    EXPECT_EQ(sender.Component.Broadcast(), 1);
    EXPECT_FALSE(QFile::exists(stale));
    EXPECT_TRUE(QFile::exists(otherFile)) << "only sockets are cleaned up";
    EXPECT_TRUE(WaitForEvents([&] { return listener.Heard == 1; }));

    listener.Component.SetKey({});
    EXPECT_EQ(QDir(TBroadcast::KeyFolder(Key())).entryList(QDir::System).size(), 1)
        << "an unregistered listener must take its socket away";
}

TEST_F(BroadcastTest, WithoutRuntimeFolderUsesAPrivateFolderOfItsOwn)
{
    const QByteArray savedTmp = qgetenv("TMPDIR");
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(FRuntime.path()));
    const QString own = FRuntime.file(QStringLiteral("pelmor-") + QString::number(::geteuid()));

    ASSERT_TRUE(QDir().mkdir(own));
    ::chmod(QFile::encodeName(own).constData(), 0777);
    EXPECT_EQ(TBroadcast::UserRuntimeFolder(), own);
    struct stat info;
    ASSERT_EQ(::stat(QFile::encodeName(own).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u) << "a folder others can enter must be closed";

    Restore("TMPDIR", savedTmp);
}

TEST_F(BroadcastTest, HandOverPutsTheNameInTheBlockBeforeTheListenerHears)
{
    TSharedMemory block;
    block.SetBlockSize(THandOver::BlockSize);
    block.SetBlockName(Key());
    // No zero anywhere: the sender must end the name itself.
    std::memset(block.Memory(), 'x', THandOver::BlockSize);
    TListener listener(Key());
    QStringList received;
    listener.Component.OnBroadcastMsg = [&](TBroadcast *) { received << THandOver::FileNameIn(block); };

    THandOver handOver(Key());
    ASSERT_TRUE(handOver.Send(QStringLiteral("pictures/a.jpg"))) << qPrintable(handOver.Reason());
    ASSERT_TRUE(WaitForEvents([&] { return received.size() == 1; }));
    EXPECT_EQ(received[0], QDir::current().absoluteFilePath(QStringLiteral("pictures/a.jpg")))
        << "the viewer runs in another folder and needs the whole path";

    const QString longest = QLatin1Char('/') + QString(THandOver::BlockSize - 2, QLatin1Char('a'));
    ASSERT_TRUE(handOver.Send(longest)) << "999 bytes and the zero fill the block exactly";
    ASSERT_TRUE(WaitForEvents([&] { return received.size() == 2; }));
    EXPECT_EQ(received[1], longest);

    EXPECT_FALSE(handOver.Send(longest + QLatin1Char('a')));
    EXPECT_FALSE(handOver.Reason().isEmpty());
    EXPECT_EQ(THandOver::FileNameIn(block), longest) << "an over-long name must not touch the block";

    listener.Component.SetKey({});
    EXPECT_FALSE(handOver.Send(QStringLiteral("/b.jpg"))) << "nobody listens";
    EXPECT_FALSE(handOver.Reason().isEmpty());
}
