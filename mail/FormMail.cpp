#include "mail/FormMail.h"

#include "mail/MailErrorText.h"
#include "mail/MailText.h"
#include "resources/TDialogs.h"
#include "resources/TNotice.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QToolButton>

namespace {

// Outer size less the title bar and borders of a window frame.
constexpr QSize ClientSize(286 - 6, 233 - 22);

const QStringList Subjects = {QStringLiteral("ペルモの出荷"), QStringLiteral("感想"), QStringLiteral("要望"),
                              QStringLiteral("バグ報告")};
const QStringList Bodies = {QStringLiteral("ペルモを出荷します。"), QStringLiteral("試用しました。"),
                            QStringLiteral("改善してもらいたいです。"), QStringLiteral("バグを報告します。")};
const QString AttachFilters = QStringLiteral("JPEG(*.JPG) (*.JPG *.jpg);;GIF(*.GIF) (*.GIF *.gif);;"
                                             "Pelmor(*.WST) (*.WST *.wst);;Text(*.TXT) (*.TXT *.txt);;すべて (*)");

} // namespace

TFormPelmorMail::TFormPelmorMail(QWidget *parent) : QWidget(parent, Qt::Window)
{
    FormCreate();
    ConnectClient();
    ShowMessage = [this](QMessageBox::Icon icon, const QString &text) { TNotice::Show(this, icon, text); };
    ChooseOpenFile = [this](const QString &filters) {
        return TDialogs::ChooseOpenFile(this, QString(), QString(), filters);
    };
}

void TFormPelmorMail::FormCreate()
{
    setWindowTitle(QStringLiteral("ペルモの出荷"));
    setFixedSize(ClientSize);
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(6, 6, 6, 0);
    grid->setVerticalSpacing(3);

    EditTo = new QLineEdit(this);
    EditTo->setEnabled(false);
    grid->addWidget(new QLabel(QStringLiteral("宛先"), this), 0, 0);
    grid->addWidget(EditTo, 0, 1, 1, 3);

    CBoxSub = new QComboBox(this);
    CBoxSub->addItems(Subjects);
    CBoxSub->setCurrentIndex(1);
    grid->addWidget(new QLabel(QStringLiteral("表題"), this), 1, 0);
    grid->addWidget(CBoxSub, 1, 1, 1, 3);

    ListBox1 = new QListWidget(this);
    ListBox1->setFixedHeight(42);
    SpeedButtonAdd = new QToolButton(this);
    SpeedButtonAdd->setText(QStringLiteral("+"));
    SpeedButtonAdd->setToolTip(QStringLiteral("添付ファイルの追加"));
    SpeedButtonDel = new QToolButton(this);
    SpeedButtonDel->setText(QStringLiteral("-"));
    SpeedButtonDel->setToolTip(QStringLiteral("選択した添付ファイルを削除"));
    grid->addWidget(new QLabel(QStringLiteral("添付"), this), 2, 0);
    grid->addWidget(ListBox1, 2, 1);
    grid->addWidget(SpeedButtonAdd, 2, 2, Qt::AlignTop);
    grid->addWidget(SpeedButtonDel, 2, 3, Qt::AlignTop);

    Memo1 = new QPlainTextEdit(Bodies[1], this);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    grid->addWidget(Memo1, 3, 0, 1, 4);

    BitBtnSend = new QPushButton(QStringLiteral("出荷"), this);
    BitBtnSend->setToolTip(QStringLiteral("匿名ですので気軽に送信して下さい。"));
    grid->addWidget(BitBtnSend, 4, 0, 1, 4, Qt::AlignRight);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setSizeGripEnabled(false);
    grid->addWidget(StatusBar1, 5, 0, 1, 4);

    connect(BitBtnSend, &QPushButton::clicked, this, &TFormPelmorMail::BitBtnSendClick);
    connect(SpeedButtonAdd, &QToolButton::clicked, this, &TFormPelmorMail::SpeedButtonAddClick);
    connect(SpeedButtonDel, &QToolButton::clicked, this, &TFormPelmorMail::SpeedButtonDelClick);
    connect(CBoxSub, &QComboBox::activated, this, &TFormPelmorMail::CBoxSubChange);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TFormPelmorMail::ConnectClient()
{
    TMailSession *c = &NMSMTP1;
    connect(c, &TMailSession::Connect, this, [this] { SetStatus(QStringLiteral("接続完了")); });
    connect(c, &TMailSession::Disconnect, this, [this] { SetStatus(QStringLiteral("接続終了")); });
    connect(c, &TMailSession::Status, this, &TFormPelmorMail::SetStatus);
    connect(c, &TMailSession::HostResolved, this, [this] { SetStatus(QStringLiteral("ホストが見つかりました。")); });
    // A failed send is told in one message when it has ended, with the server's or the system's detail.
    connect(c, &TMailSession::InvalidHost, this,
            [this] { SetStatus(MailErrorText::Sentence(TSmtpFault::HostNotFound)); });
    connect(c, &TMailSession::ConnectionFailed, this,
            [this] { SetStatus(MailErrorText::Sentence(TSmtpFault::ConnectFailed)); });
    connect(c, &TMailSession::SendStart, this, [this] { SetStatus(QStringLiteral("送信開始")); });
    connect(c, &TMailSession::PacketSent, this,
            [this](qint64 sent, qint64 total) { SetStatus(QStringLiteral("送信中 %1 / %2").arg(sent).arg(total)); });
    connect(c, &TMailSession::EncodeStart, this,
            [this](const QString &name) { SetStatus(QStringLiteral("ｴﾝｺｰﾄﾞ中 ") + name); });
    connect(c, &TMailSession::EncodeEnd, this,
            [this](const QString &name) { SetStatus(QStringLiteral("ｴﾝｺｰﾄﾞ終了 ") + name); });
    connect(c, &TMailSession::RecipientNotFound, this, [this](const QString &address) {
        ShowMessage(QMessageBox::Warning, QStringLiteral("宛先 \"%1\" が見つかりません。").arg(address));
    });
    connect(c, &TMailSession::HeaderIncomplete, this,
            [this] { SetStatus(MailErrorText::Sentence(TSmtpFault::Header)); });
    connect(c, &TMailSession::Success, this, [this] { SetStatus(QStringLiteral("Success")); });
    connect(c, &TMailSession::Failure, this, [this] { SetStatus(QStringLiteral("失敗しました。")); });
    connect(c, &TMailSession::Finished, this, [this](const QString &error, int) { SendEnded(error); });
}

void TFormPelmorMail::SetEndpoints(const QString &host, int port, int timeOutSeconds, const QString &toAddress,
                                   const QString &fromAddress)
{
    FServer = {host, port, QString::fromLatin1(HeloName), timeOutSeconds};
    EditTo->setText(toAddress);
    FFromAddress = fromAddress;
}

void TFormPelmorMail::SetStatus(const QString &text)
{
    // The status bar has one line; a detail goes after the sentence.
    StatusBar1->showMessage(QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')));
}

TPostMessage TFormPelmorMail::MakeMessage() const
{
    TPostMessage m;
    m.FromAddress = FFromAddress;
    m.FromName = QString::fromLatin1(FromName);
    m.LocalProgram = QString::fromLatin1(LocalProgram);
    m.Subject = MailText::EncodedWord(CBoxSub->currentText());
    m.Date = MailText::Rfc5322Date(QDateTime::currentDateTime());
    m.ToAddress.append(EditTo->text());
    for (int i = 0; i < ListBox1->count(); ++i)
        m.Attachments.append(ListBox1->item(i)->text());
    m.Body = Memo1->toPlainText().split(QLatin1Char('\n'));
    return m;
}

void TFormPelmorMail::BitBtnSendClick()
{
    if (NMSMTP1.Running())
        return;
    if (ListBox1->count() == 0) {
        ShowMessage(QMessageBox::Information, QStringLiteral("厚かましいようですが、何かお土産を下さい。"));
        return;
    }
    // A file that went away since it was added ends the send before the server hears of it.
    for (int i = 0; i < ListBox1->count(); ++i) {
        const QString path = ListBox1->item(i)->text();
        QFile file(path);
        if (!TNMSMTP::OpenAttachment(file)) {
            ShowMessage(QMessageBox::Warning, MailErrorText::Text(TSmtpFault::Attachment, path));
            return;
        }
    }
    FClosing = false;
    BitBtnSend->setEnabled(false);
    NMSMTP1.Start(FServer, MakeMessage());
}

void TFormPelmorMail::SendEnded(const QString &error)
{
    BitBtnSend->setEnabled(true);
    if (error.isEmpty()) {
        ListBox1->clear();
        return;
    }
    if (FClosing) {
        SetStatus(MailErrorText::Sentence(TSmtpFault::Aborted));
        return;
    }
    SetStatus(error);
    ShowMessage(QMessageBox::Warning, error);
}

void TFormPelmorMail::SpeedButtonAddClick()
{
    const QString path = ChooseOpenFile(AttachFilters);
    if (!path.isEmpty())
        ListBox1->addItem(path);
}

void TFormPelmorMail::SpeedButtonDelClick()
{
    qDeleteAll(ListBox1->selectedItems());
}

void TFormPelmorMail::CBoxSubChange(int index)
{
    if (index >= 0 && index < Bodies.size())
        Memo1->setPlainText(Bodies[index]);
}

void TFormPelmorMail::closeEvent(QCloseEvent *event)
{
    if (NMSMTP1.Running()) {
        FClosing = true;
        NMSMTP1.Abort();
    }
    event->accept();
}
