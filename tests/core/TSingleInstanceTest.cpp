#include "core/TSingleInstance.h"

#include "tests/support/ScriptedServer.h"
#include "tests/support/TempFolder.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

constexpr int ProbeGoesOn = 0;
constexpr int ProbeEnds = 3;

// Runs the probe as a further start of the program would be run; its exit code, or -1.
int StartProbe(const TTempFolder &folder, const QStringList &arguments)
{
    QProcess probe;
    probe.setProcessChannelMode(QProcess::MergedChannels);
    probe.setStandardOutputFile(folder.file(QStringLiteral("probe.log")), QIODevice::Append);
    probe.start(QStringLiteral(PELMOR_INSTANCE_PROBE), arguments);
    // Events are pumped meanwhile, so that the running copy here can answer; a hung probe is killed.
    const bool ended = WaitForEvents([&] { return probe.state() == QProcess::NotRunning; }, 10000);
    return ended && probe.exitStatus() == QProcess::NormalExit ? probe.exitCode() : -1;
}

} // namespace

// Catches a socket left by a crashed copy blocking the next start, a second copy that goes on
// without an argument or ends with one, and a running copy not brought to the front.
TEST(TSingleInstance, LaterStartRaisesTheRunningCopyAndGoesOnOnlyWithAnArgument)
{
    TTempFolder folder;
    const QString server = folder.file(QStringLiteral("pelmor-TFormMain"));
    ASSERT_EQ(StartProbe(folder, {QStringLiteral("--crash"), server}), 0);
    ASSERT_TRUE(QFile::exists(server)) << "the crashed copy should have left its socket";

    TSingleInstance running(server);
    int raised = 0;
    QObject::connect(&running, &TSingleInstance::Raise, [&] { ++raised; });
    ASSERT_TRUE(running.Claim(false)) << "the first live copy starts";
    ASSERT_TRUE(running.Listening()) << "the leftover must be replaced, not kept";

    EXPECT_EQ(StartProbe(folder, {server}), ProbeEnds) << "without an argument the second copy ends";
    EXPECT_TRUE(WaitForEvents([&] { return raised == 1; })) << "the running copy must come to the front";
    EXPECT_EQ(StartProbe(folder, {server, QStringLiteral("list.wst")}), ProbeGoesOn);
    EXPECT_TRUE(WaitForEvents([&] { return raised == 2; }));
}
