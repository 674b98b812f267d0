#include "maker/FormHome1.h"

#include "app/FormOpt1.h"
#include "maker/FormKairan.h"
#include "tests/support/MainWindowFixture.h"
#include "tests/support/ScriptedServer.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QStringEncoder>
#include <QTest>
#include <QToolButton>

using FormHome1FetchTest = MainWindowFixture;

namespace {

QList<bool> FetchButtonsEnabled(const TFormHome *home)
{
    return {home->ToolButtonMake->isEnabled(), home->ToolButtonKairan->isEnabled(), home->ToolButtonDiv->isEnabled()};
}

} // namespace

// Catches a second fetch startable while one runs, buttons or lamp left as the fetch had them when
// the server cannot be reached, and a status bar that does not say why.
TEST_F(FormHome1FetchTest, FetchButtonsAreDisabledForTheFetchAndBackAfterAFailure)
{
    TFormHome *home = form->FormHome;
    home->show();
    home->EditURL->setText(QStringLiteral("http://127.0.0.1:%1/f.bin").arg(UnusedLoopbackPort()));
    QList<QList<bool>> seen;
    QStringList statuses;
    QObject::connect(&home->HomeFetch, &THomeFetch::FetchingChanged, [&] { seen.append(FetchButtonsEnabled(home)); });
    QObject::connect(home->StatusBar1, &QStatusBar::messageChanged, [&](const QString &t) { statuses.append(t); });
    QTest::mouseClick(home->ToolButtonDiv, Qt::LeftButton);

    EXPECT_EQ(seen, (QList<QList<bool>>{{false, false, false}, {true, true, true}}));
    EXPECT_TRUE(statuses.contains("Disconnected"));
    EXPECT_EQ(home->StatusBar1->currentMessage(), "Connection refused (Error #10061)");
    EXPECT_EQ(home->Panel2->palette().color(QPalette::Window), QColor(Qt::black));
    EXPECT_EQ(form->Jobs.RowCount(), 0);
    EXPECT_TRUE(home->ToolButtonStop->isEnabled());
}

// Catches a notice shown decoded wrongly or in one line, a second window for the second press, and
// the header view not following the fetch.
TEST_F(FormHome1FetchTest, NoticeIsShownAsReceivedAndReplacedOnTheNextPress)
{
    TFormHome *home = form->FormHome;
    home->show();
    QStringEncoder sjis("Shift_JIS");
    const QList<QString> notices{QStringLiteral("お知らせ\r\n最新版 1.2\r\n"), QStringLiteral("第二報\n終わり")};
    const QList<QString> shown{QStringLiteral("お知らせ\n最新版 1.2\n"), QStringLiteral("第二報\n終わり")};
    TFormKairanban *board = nullptr;
    for (int press = 0; press < 2; ++press) {
        TScriptedServer server;
        server.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n"
                                           + QByteArray(sjis(notices[press]))),
                     TScriptedServer::Close()});
        form->Settings.KairanURL = server.Url("/kairan.txt");
        QTest::mouseClick(home->ToolButtonKairan, Qt::LeftButton);
        ASSERT_NE(home->FormKairanban, nullptr);
        EXPECT_TRUE(!board || home->FormKairanban == board);
        board = home->FormKairanban;
        EXPECT_TRUE(board->isVisible());
        EXPECT_EQ(board->Memo1->toPlainText(), shown[press]);
        EXPECT_EQ(home->StatusBar1->currentMessage(), "OK(200)");
        EXPECT_TRUE(form->FormOpt->MemoGHeader->toPlainText().contains("Content-Type: text/plain"));
    }
    EXPECT_TRUE(board->Memo1->isReadOnly());
    EXPECT_EQ(board->windowTitle(), "回覧版");
}
