#include "mail/FormMail.h"

#include "tests/support/MainWindowFixture.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/ScriptedSmtpServer.h"
#include "tests/support/SmtpSink.h"
#include "tests/support/TempFolder.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStatusBar>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

class FormMailTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        form.ShowMessage = [this](QMessageBox::Icon, const QString &text) { messages << text; };
        form.ChooseOpenFile = [this](const QString &) { return chosen; };
        form.show();
    }
    void PointAt(quint16 port, int timeOut = 30)
    {
        form.SetEndpoints(QStringLiteral("127.0.0.1"), port, timeOut, QStringLiteral("maker@example.net"),
                          QStringLiteral("anonymous@example.org"));
    }
    void Attach(const QString &path)
    {
        chosen = path;
        form.SpeedButtonAdd->click();
    }
    bool WaitForSendEnd()
    {
        return WaitForEvents([this] { return form.BitBtnSend->isEnabled(); }, 60000);
    }
    QString Status() const { return form.StatusBar1->currentMessage(); }

    TTempFolder temp;
    TFormPelmorMail form;
    QStringList messages;
    QString chosen;
};

TEST_F(FormMailTest, StartsWithItsFieldsAndAsksForAnAttachment)
{
    EXPECT_EQ(form.windowTitle(), "ペルモの出荷");
    EXPECT_EQ(form.CBoxSub->currentText(), "感想");
    EXPECT_EQ(form.Memo1->toPlainText(), "試用しました。");
    EXPECT_FALSE(form.EditTo->isEnabled());
    form.CBoxSubChange(3);
    EXPECT_EQ(form.Memo1->toPlainText(), "バグを報告します。");

    TScriptedSmtpServer server;
    PointAt(server.Port());
    form.BitBtnSend->click();
    EXPECT_EQ(messages, QStringList{"厚かましいようですが、何かお土産を下さい。"});
    EXPECT_TRUE(form.BitBtnSend->isEnabled());

    // A file that went away after it was added is noticed before the server is called.
    Attach(temp.write("gone.jpg", "x"));
    QFile::remove(temp.file("gone.jpg"));
    form.BitBtnSend->click();
    EXPECT_EQ(messages.last(), "添付ファイルを読めません。\n" + temp.file("gone.jpg"));
    WaitForEvents([] { return false; }, 50);
    EXPECT_EQ(server.Connections(), 0);
}

// The whole path to a real SMTP server: the message arrives whole, its parts decode to the files.
TEST_F(FormMailTest, MessageWithTwoAttachmentsArrivesWhole)
{
    TSmtpSink sink;
    ASSERT_TRUE(sink.Start()) << sink.Error().toStdString();
    PointAt(sink.Port());
    QByteArray picture(150000, Qt::Uninitialized);
    QRandomGenerator generator(7);
    for (char &c : picture)
        c = char(generator.bounded(256));
    const QByteArray note = "a line\n.\nlast line\n";
    Attach(temp.write("photo.jpg", picture));
    Attach(temp.write("メモ.txt", note));

    form.BitBtnSend->click();
    EXPECT_FALSE(form.BitBtnSend->isEnabled());
    ASSERT_TRUE(WaitForSendEnd());
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    EXPECT_EQ(Status(), "接続終了");
    EXPECT_EQ(form.ListBox1->count(), 0) << "a sent message empties the attachment list";

    ASSERT_EQ(sink.Messages().size(), 1);
    const TParsedMail mail = ParseMail(sink.Messages().first());
    ASSERT_TRUE(mail.Error.isEmpty()) << mail.Error.toStdString();
    EXPECT_EQ(mail.Subject, "感想");
    EXPECT_EQ(mail.Body, "試用しました。");
    EXPECT_TRUE(QDateTime::fromString(mail.Date, Qt::RFC2822Date).isValid()) << mail.Date.toStdString();
    EXPECT_EQ(mail.AttachmentNames, (QStringList{"photo.jpg", "メモ.txt"}));
    ASSERT_EQ(mail.Attachments.size(), 2);
    EXPECT_TRUE(mail.Attachments[0] == picture);
    EXPECT_EQ(mail.Attachments[1], note);

    // Right after it, the emptied list asks for a file again and nothing more is sent.
    form.BitBtnSend->click();
    EXPECT_EQ(messages, QStringList{"厚かましいようですが、何かお土産を下さい。"});
    EXPECT_TRUE(form.BitBtnSend->isEnabled());
    EXPECT_EQ(sink.Messages().size(), 1);
}

// Every way a send can end closes its connection at once: the server sees it closed, not left open
// until the next send. A failure is told once, in Japanese with the server's or the system's detail.
TEST_F(FormMailTest, EveryEndOfASendClosesTheConnection)
{
    struct TCase {
        const char *name;
        QByteArray verb; // the command answered with reply (an empty reply is silence); empty: the greeting
        QByteArray reply;
        QString message; // the message shown; empty: none
        bool quit;       // the server was told goodbye
    };
    const QList<TCase> cases = {
        {"sent", "", "220 ready\r\n", "", true},
        {"silent", "RSET", "", "サーバーの応答がなく、時間切れになりました。\nエラー番号 10060", false},
        {"refused", "MAIL", "451 try later\r\n", "サーバーに断られました。\n451 try later", true},
        {"nonsense", "RSET", "nonsense\r\n", "サーバーの応答を読めません。\nnonsense", false},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.name);
        messages.clear();
        TScriptedSmtpServer server;
        if (c.verb.isEmpty())
            server.Greeting = c.reply;
        else
            server.Reply(c.verb, {c.reply});
        PointAt(server.Port(), 1);
        if (form.ListBox1->count() == 0)
            Attach(temp.write("a.jpg", "x"));
        form.BitBtnSend->click();
        ASSERT_TRUE(WaitForSendEnd());
        EXPECT_TRUE(WaitForEvents([&] { return server.PeerClosed(); }, 10000)) << "connection left open";
        EXPECT_EQ(server.Commands().contains("QUIT"), c.quit);
        EXPECT_EQ(messages, c.message.isEmpty() ? QStringList() : QStringList{c.message});
        if (!c.message.isEmpty()) {
            EXPECT_EQ(Status(), QString(c.message).replace('\n', ' '));
        }
    }

    // Nobody listening: the one message says so with the system's number.
    messages.clear();
    PointAt(UnusedLoopbackPort());
    form.BitBtnSend->click();
    ASSERT_TRUE(WaitForSendEnd());
    EXPECT_EQ(messages, QStringList{"サーバー接続に失敗しました。\nエラー番号 10061"});
    EXPECT_EQ(form.ListBox1->count(), 1) << "what was not sent stays in the list";
}

// An unknown recipient is named in Japanese and the message still goes out.
TEST_F(FormMailTest, UnknownRecipientIsNamed)
{
    TScriptedSmtpServer server;
    server.Reply("RCPT", {"550 no such user\r\n"});
    PointAt(server.Port());
    Attach(temp.write("a.jpg", "x"));
    form.BitBtnSend->click();
    ASSERT_TRUE(WaitForSendEnd());
    EXPECT_EQ(messages, QStringList{"宛先 \"maker@example.net\" が見つかりません。"});
}

// Closing the window while the server keeps silent in mid-conversation ends the send at once, without
// a message, and closes the connection.
TEST_F(FormMailTest, ClosingTheWindowAbortsTheSend)
{
    TScriptedSmtpServer server;
    server.Reply("RSET", {""});
    PointAt(server.Port(), 3600);
    Attach(temp.write("a.jpg", "x"));
    form.BitBtnSend->click();
    ASSERT_TRUE(WaitForEvents([&] { return server.Commands().contains("RSET"); }));
    form.close();
    ASSERT_TRUE(WaitForSendEnd());
    EXPECT_EQ(Status(), "中止しました。");
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_TRUE(WaitForEvents([&] { return server.PeerClosed(); }, 10000)) << "aborted connection left open";
}

class MailButtonTest : public MainWindowFixture
{};

// The main window's mail button opens the window pointed at the mail settings.
TEST_F(MailButtonTest, OpensTheMailWindowWithTheSettings)
{
    form->Settings.MailTo = QStringLiteral("box@example.net");
    ASSERT_TRUE(form->ToolButtonMail->isEnabled());
    form->ToolButtonMail->click();
    EXPECT_TRUE(form->FormMail->isVisible());
    EXPECT_EQ(form->FormMail->EditTo->text(), "box@example.net");
}

} // namespace
