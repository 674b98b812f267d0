#include "core/Brdcast.h"

#include "core/THandOver.h"
#include "core/sharedmm.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Sets, or with a null value unsets, an environment variable while it lives.
struct TEnvVar {
    TEnvVar(const char *name, const QByteArray &value) : Name(name), Saved(qgetenv(name)) { Set(Name, value); }
    ~TEnvVar() { Set(Name, Saved); }
    static void Set(const char *name, const QByteArray &v)
    {
        v.isNull() ? void(qunsetenv(name)) : void(qputenv(name, v));
    }
    const char *Name;
    QByteArray Saved;
};

// A runtime folder per test, so no real copy of the program hears it.
class BroadcastTest : public ::testing::Test
{
protected:
    // Unique per test, for the shared block that lives outside the runtime folder.
    QString Key() const { return QStringLiteral("key-") + FRuntime.path().section(u'/', -1); }

    TTempFolder FRuntime;
    TEnvVar FRuntimeVar{"XDG_RUNTIME_DIR", QFile::encodeName(FRuntime.path())};
};

struct TListener {
    TBroadcast Component;
    int Heard = 0;
    explicit TListener(const QString &key)
    {
        Component.OnBroadcastMsg = [this](TBroadcast *) { ++Heard; };
        Component.SetKey(key);
    }
};

} // namespace

// Catches a sender hearing itself or another key, EnableInput false not ignoring the message, a
// stale socket counted or kept, another file removed, and a listener leaving its socket behind.
TEST_F(BroadcastTest, ReachesLiveListenersOfItsKeyAndCleansUpStaleSockets)
{
    TListener sender(Key()), listener(Key()), deaf(Key()), stranger(Key() + QStringLiteral("x"));
    deaf.Component.EnableInput = false;
    const QString folder = TBroadcast::KeyFolder(Key());
    // What a listener that ended abruptly leaves behind: a socket file nobody holds.
    sockaddr_un address{AF_UNIX, {}};
    std::strncpy(address.sun_path, QFile::encodeName(folder + "/999999.1").constData(), sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
    ::close(fd);
    QFile(folder + "/notes").open(QIODevice::WriteOnly);

    EXPECT_EQ(sender.Component.Broadcast(), 2) << "the listener and the deaf one; not itself, not the stale one";
    ASSERT_TRUE(WaitForEvents([&] { return listener.Heard == 1; }));
    QCoreApplication::processEvents(); // every datagram was queued before Broadcast returned
    EXPECT_EQ(deaf.Heard, 0) << "EnableInput false must ignore the message";
    EXPECT_EQ(sender.Heard, 0) << "a sender must not hear itself";
    EXPECT_EQ(stranger.Heard, 0) << "another key is another message";
    EXPECT_FALSE(QFile::exists(folder + "/999999.1"));
    EXPECT_TRUE(QFile::exists(folder + "/notes")) << "only sockets are cleaned up";

    listener.Component.SetKey({});
    EXPECT_EQ(QDir(folder).entryList(QDir::System).size(), 2) << "an unregistered listener must take its socket away";
    sender.Component.EnableOutput = false;
    EXPECT_EQ(sender.Component.Broadcast(), 0);
}

// Catches a shared folder others can enter being used for the sockets.
TEST_F(BroadcastTest, WithoutRuntimeFolderUsesAPrivateFolderOfItsOwn)
{
    const TEnvVar noRuntime("XDG_RUNTIME_DIR", {}), tmp("TMPDIR", QFile::encodeName(FRuntime.path()));
    const QString own = FRuntime.file(QStringLiteral("pelmor-") + QString::number(::geteuid()));
    ASSERT_TRUE(QDir().mkdir(own));
    QFile::setPermissions(own, QFileDevice::Permissions::fromInt(0x7777)); // open to everyone
    EXPECT_EQ(TBroadcast::UserRuntimeFolder(), own);
    EXPECT_EQ(QFile::permissions(own).toInt() & 0x7077, 0x7000) << "rwx for the owner, nothing for group or others";
}

// Catches a name not made whole, not ended by a zero or not in the block when the listener hears,
// an over-long name written anyway, and a hand-over that nobody heard reported as done.
TEST_F(BroadcastTest, HandOverPutsTheNameInTheBlockBeforeTheListenerHears)
{
    TSharedMemory block;
    block.SetBlockSize(THandOver::BlockSize);
    block.SetBlockName(Key());
    std::memset(block.Memory(), 'x', THandOver::BlockSize); // no zero: the sender must end the name
    TListener listener(Key());
    QStringList received;
    listener.Component.OnBroadcastMsg = [&](TBroadcast *) { received << THandOver::FileNameIn(block); };

    THandOver handOver(Key());
    const QString longest = QLatin1Char('/') + QString(THandOver::BlockSize - 2, QLatin1Char('a')); // and the zero
    for (const QString &name : {QStringLiteral("pictures/a.jpg"), longest}) {
        ASSERT_TRUE(handOver.Send(name)) << qPrintable(handOver.Reason());
        ASSERT_TRUE(WaitForEvents([&] { return !received.isEmpty(); }));
        EXPECT_EQ(received.takeFirst(), QDir::current().absoluteFilePath(name)) << "the viewer runs elsewhere";
    }
    EXPECT_FALSE(handOver.Send(longest + QLatin1Char('a')) || handOver.Reason().isEmpty());
    EXPECT_EQ(THandOver::FileNameIn(block), longest) << "an over-long name must not touch the block";
    listener.Component.SetKey({});
    EXPECT_FALSE(handOver.Send(QStringLiteral("/b.jpg")) || handOver.Reason().isEmpty()) << "nobody listens";
}
