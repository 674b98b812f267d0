#include "app/TBatchDisplay.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempFolder.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// The real program on a pseudo-terminal of 100 columns, read while the test's servers run.
class TPtyRun
{
public:
    ~TPtyRun()
    {
        if (FPid > 0) {
            kill(FPid, SIGKILL);
            waitpid(FPid, nullptr, 0);
        }
        FNotifier.reset();
        if (FMaster >= 0)
            close(FMaster);
    }

    // noColour: NO_COLOR's value, or nullptr to leave it unset.
    bool Start(const QStringList &args, const char *noColour)
    {
        QList<QByteArray> words{QByteArray(PELMOR_BINARY), "--batch"};
        for (const QString &arg : args)
            words.append(arg.toUtf8());
        QList<QByteArray> env{"TERM=xterm-256color"};
        for (char **e = environ; *e; ++e)
            if (std::strncmp(*e, "NO_COLOR=", 9) != 0 && std::strncmp(*e, "TERM=", 5) != 0)
                env.append(*e);
        if (noColour)
            env.append(QByteArray("NO_COLOR=") + noColour);
        // Everything exec needs is made before the fork: the child of a threaded program may only exec.
        std::vector<char *> argv, envp;
        for (QByteArray &w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        for (QByteArray &e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        winsize size{};
        size.ws_col = 100;
        size.ws_row = 30;
        FPid = forkpty(&FMaster, nullptr, nullptr, &size);
        if (FPid == 0) {
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        if (FPid < 0 || fcntl(FMaster, F_SETFL, O_NONBLOCK) != 0)
            return false;
        // Output wakes the wait; the timer wakes it to see whether the program has ended.
        FNotifier = std::make_unique<QSocketNotifier>(FMaster, QSocketNotifier::Read);
        FPoll.start(50);
        return true;
    }

    // Pumps events until what the terminal got so far (without its carriage returns) satisfies done.
    bool WaitFor(const std::function<bool(const QString &)> &done, int timeoutMs = 30000)
    {
        return WaitForEvents([&] { return Read(), done(Output()); }, timeoutMs);
    }

    // Reads to the end and returns the exit status; -1 when the program did not end in time.
    int Finish()
    {
        int status = 0;
        const bool ended = WaitForEvents([&] { return !Read() && waitpid(FPid, &status, WNOHANG) == FPid; }, 60000);
        if (!ended)
            return -1;
        FPid = 0;
        FNotifier.reset();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    QString Output() const { return QString::fromUtf8(FBytes).remove(QLatin1Char('\r')); }

private:
    // False once the terminal's other side is closed.
    bool Read()
    {
        char buffer[4096];
        for (;;) {
            const ssize_t n = read(FMaster, buffer, sizeof buffer);
            if (n > 0)
                FBytes.append(buffer, n);
            else
                return n < 0 && errno == EAGAIN;
        }
    }

    pid_t FPid = 0;
    int FMaster = -1;
    QByteArray FBytes;
    std::unique_ptr<QSocketNotifier> FNotifier;
    QTimer FPoll;
};

QStringList Common(const TTempFolder &temp)
{
    return {"--ini", temp.file("none.ini"), "--folder", temp.path(), "--interval", "20"};
}

const QRegularExpression ColourCode(QStringLiteral("\x1b\\[[0-9;]*m"));
// "[0] http://… [===>   ]  40%  39.1 KiB/97.7 KiB  12.5 KiB/s  0:05" with a rate above nothing.
const QRegularExpression
    ProgressWithRate(QStringLiteral("\\[0\\] http.* 80%.*KiB/97\\.7 KiB +[0-9.]+ [KM]?i?B/s +[0-9]+:[0-9]{2}"));

} // namespace

// Catches a live block that never shows a job's progress and rate, colours on when NO_COLOR is set or
// off when it is not, and the finished line or the summary missing at the end.
TEST(TBatchTerminalTest, ShowsProgressWithARateAndHonoursNoColour)
{
    for (const char *noColour : {static_cast<const char *>(nullptr), "1"}) {
        TTempFolder temp;
        TScriptedServer slow;
        // The answer stops twice: the block is sure to show 40% and then 80% of a known size.
        const QByteArray chunk(40000, 's');
        slow.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + chunk),
                   TScriptedServer::Pause(), TScriptedServer::Send(chunk), TScriptedServer::Pause(),
                   TScriptedServer::Send(QByteArray(20000, 's')), TScriptedServer::Close()});
        const QString url = slow.Url("/slow.jpg");
        TPtyRun run;
        ASSERT_TRUE(run.Start(Common(temp) + QStringList{"--add", url}, noColour));
        ASSERT_TRUE(run.WaitFor([](const QString &out) { return out.contains(" 40%"); })) << run.Output().toStdString();
        slow.Continue();
        ASSERT_TRUE(run.WaitFor([](const QString &out) { return out.contains(ProgressWithRate); }))
            << run.Output().toStdString();
        slow.Continue();
        EXPECT_EQ(run.Finish(), 0) << run.Output().toStdString();
        const QString out = run.Output();
        EXPECT_TRUE(out.contains("total: 1 running, 0 of 1 ended")) << out.toStdString();
        EXPECT_TRUE(
            out.contains(QRegularExpression("End>Completed!(\x1b\\[0m)?\t" + QRegularExpression::escape(url) + "\n")))
            << out.toStdString();
        EXPECT_TRUE(out.contains("\n1 of 1 complete, 97.7 KiB in ")) << out.toStdString();
        EXPECT_EQ(out.contains(ColourCode), noColour == nullptr) << out.toStdString();
    }
}

// A real nginx serving one 30000-byte file, and a scratch folder for the run's downloads.
class TBatchTerminalNginx : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(nginx.Start()) << nginx.Error().toStdString();
        nginx.WriteFile("here.jpg", QByteArray(30000, 'h'));
    }
    TTempFolder temp;
    TNginxServer nginx;
};

// Catches --quiet printing successes or a live block, and a failure it hides.
TEST_F(TBatchTerminalNginx, QuietPrintsOnlyFailures)
{
    TPtyRun run;
    ASSERT_TRUE(run.Start(
        Common(temp) + QStringList{"--quiet", "--add", nginx.Url("/here.jpg"), "--add", nginx.Url("/gone.jpg")}, "1"));
    EXPECT_EQ(run.Finish(), 1);
    EXPECT_EQ(run.Output(), "Abort>見つかりません(404)\t" + nginx.Url("/gone.jpg") + "\n");
}

// Catches the program taking a pipe for a terminal: its lines must stay as they always were.
TEST_F(TBatchTerminalNginx, IntoAPipeEachFinishedJobIsOnePlainLine)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TERM", "xterm-256color");
    env.remove("NO_COLOR");
    process.setProcessEnvironment(env);
    process.start(PELMOR_BINARY, QStringList{"--batch"} + Common(temp) + QStringList{"--add", nginx.Url("/here.jpg")});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_EQ(QString::fromUtf8(process.readAllStandardOutput()), "End>Completed!\t" + nginx.Url("/here.jpg") + "\n");
}

// Catches a cut that runs past its width (wide characters take two columns) or loses the file name.
TEST(TBatchTerminalTest, ElidesInTheMiddleByColumns)
{
    const QString url = QStringLiteral("http://example.com/") + QString(40, QChar(0x753b)) + "/end.jpg";
    for (const int width : {3, 12, 31, 40}) {
        const QString cut = TBatchDisplay::ElideMiddle(url, width);
        EXPECT_LE(TBatchDisplay::Width(cut), width) << cut.toStdString();
        EXPECT_GE(TBatchDisplay::Width(cut), width - 1) << cut.toStdString();
    }
    EXPECT_TRUE(TBatchDisplay::ElideMiddle(url, 31).endsWith("/end.jpg"));
    EXPECT_EQ(TBatchDisplay::Bytes(1536), "1.5 KiB");
    EXPECT_EQ(TBatchDisplay::Duration(3725), "1:02:05");
}

namespace {
// Where the first byte lies that a UTF-8 terminal takes as a control: C0 but tab and line feed, DEL,
// or a C1 control (0xC2 0x80..0x9F); -1 for none.
qsizetype ControlAt(const QByteArray &bytes)
{
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar c = uchar(bytes[i]);
        const bool c1 = c == 0xC2 && i + 1 < bytes.size() && uchar(bytes[i + 1]) >= 0x80 && uchar(bytes[i + 1]) <= 0x9F;
        if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F || c1)
            return i;
    }
    return -1;
}
} // namespace

// Catches a control a server's text or a URL brings reaching the terminal: ESC, but also DEL and the
// C1 controls, which a UTF-8 terminal obeys as it does ESC (U+009B is CSI, U+0085 a line break), in
// finished lines and in every field of the live block.
TEST(TBatchTerminalTest, ServerTextCannotSteerTheTerminal)
{
    QStringList wrong;
    for (char16_t c = 0; c < 0x100; ++c) {
        const bool control = (c < 0x20 && c != '\t') || (c >= 0x7F && c < 0xA0);
        const QString text = QStringLiteral("a") + QChar(c) + "b";
        if (TBatchDisplay::Printable(text) != (control ? QStringLiteral("a?b") : text))
            wrong << QString::number(c, 16);
    }
    EXPECT_EQ(wrong.join(' '), "") << "characters shown wrongly (hex)";
    EXPECT_EQ(TBatchDisplay::Printable(QStringLiteral("画像\u3000.jpg")), QStringLiteral("画像\u3000.jpg"));

    // As they arrive: UTF-8 bytes from a server or the command line.
    const QString hostile = QString::fromUtf8("x\x1b[2J\xc2\x9b"
                                              "2J\xc2\x85\x7f\xc2\x9d"
                                              "0;t\x07y");
    ASSERT_EQ(hostile.size(), 16);
    EXPECT_EQ(TBatchDisplay::Printable(hostile), "x?[2J?2J???0;t?y");
    TBatchDisplay display(false, [] { return qint64(1000); });
    const QString url = "http://127.0.0.1/" + hostile + ".jpg";
    const QByteArray finished = display.FinishedLine(hostile, url, false).toUtf8();
    EXPECT_EQ(ControlAt(finished), -1) << finished.toHex(' ').toStdString();
    const QList<TLiveJob> running{{1, hostile, url, hostile, -1, -1}, {2, hostile, url, hostile, 50, 100}};
    const QByteArray frame = display.Frame({}, running, {2, 0, 0}, 200, 10).toUtf8();
    EXPECT_EQ(ControlAt(frame), -1) << frame.toHex(' ').toStdString();
}
