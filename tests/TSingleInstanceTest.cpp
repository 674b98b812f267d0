#include "ScriptedServer.h"
#include "TSingleInstance.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>

namespace {

constexpr int ProbeGoesOn = 0;
constexpr int ProbeEnds = 3;

// Runs the probe as a further start of the program would be run; its exit code, or -1.
int StartProbe(const TTempFolder &folder, const QStringList &arguments)
{
    QProcess probe;
    probe.setStandardOutputFile(folder.file(QStringLiteral("probe.log")), QIODevice::Append);
    probe.setStandardErrorFile(folder.file(QStringLiteral("probe.log")), QIODevice::Append);
    probe.start(QStringLiteral(PELMOR_INSTANCE_PROBE), arguments);
    // Events are pumped meanwhile, so that the running copy here can answer.
    if (!WaitForEvents([&] { return probe.state() == QProcess::NotRunning; }, 10000)) {
        probe.kill();
        probe.waitForFinished();
        return -1;
    }
    return probe.exitStatus() == QProcess::NormalExit ? probe.exitCode() : -1;
}

struct TRunningCopy
{
    TSingleInstance Instance;
    int Raised = 0;

    explicit TRunningCopy(const QString &serverName) : Instance(serverName)
    {
        QObject::connect(&Instance, &TSingleInstance::Raise, [this] { ++Raised; });
    }
};

} // namespace

TEST(TSingleInstance, LaterStartRaisesTheRunningCopyAndGoesOnOnlyWithAnArgument)
{
    TTempFolder folder;
    const QString server = folder.file(QStringLiteral("pelmor-TFormMain"));
    TRunningCopy running(server);
    ASSERT_TRUE(running.Instance.Claim(false)) << "the first copy starts";
    ASSERT_TRUE(running.Instance.Listening());

    EXPECT_EQ(StartProbe(folder, {server}), ProbeEnds) << "without an argument the second copy ends";
    EXPECT_TRUE(WaitForEvents([&] { return running.Raised == 1; })) << "the running copy must come to the front";

    EXPECT_EQ(StartProbe(folder, {server, QStringLiteral("list.wst")}), ProbeGoesOn)
        << "with an argument a further copy starts";
    EXPECT_TRUE(WaitForEvents([&] { return running.Raised == 2; }));
}

TEST(TSingleInstance, SocketLeftByACrashedCopyDoesNotBlockTheNextStart)
{
    TTempFolder folder;
    const QString server = folder.file(QStringLiteral("pelmor-TFormMain"));
    ASSERT_EQ(StartProbe(folder, {QStringLiteral("--crash"), server}), 0);
    ASSERT_TRUE(QFile::exists(server)) << "the crashed copy should have left its socket";

    TRunningCopy next(server);
    EXPECT_TRUE(next.Instance.Claim(false));
    EXPECT_TRUE(next.Instance.Listening()) << "the leftover must be replaced, not kept";
    EXPECT_EQ(StartProbe(folder, {server}), ProbeEnds);
    EXPECT_TRUE(WaitForEvents([&] { return next.Raised == 1; }));
}
