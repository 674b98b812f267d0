#pragma once

#include "mail/TMailSession.h"

#include <QMessageBox>
#include <QWidget>

#include <functional>

class QComboBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QToolButton;

// The feedback mail: an anonymous message with at least one attached file, sent to the maker.
class TFormPelmorMail : public QWidget
{
    Q_OBJECT
public:
    explicit TFormPelmorMail(QWidget *parent = nullptr);

    // The server, the maker's mailbox and the sender's placeholder address.
    void SetEndpoints(const QString &host, int port, int timeOutSeconds, const QString &toAddress,
                      const QString &fromAddress);

    void BitBtnSendClick();
    void SpeedButtonAddClick();
    void SpeedButtonDelClick();
    void CBoxSubChange(int index);

    // Messages and the file choice go through these, so that they can be answered without a person.
    std::function<void(QMessageBox::Icon icon, const QString &text)> ShowMessage;
    std::function<QString(const QString &filters)> ChooseOpenFile;

    QLineEdit *EditTo = nullptr;
    QComboBox *CBoxSub = nullptr;
    QListWidget *ListBox1 = nullptr;
    QToolButton *SpeedButtonAdd = nullptr;
    QToolButton *SpeedButtonDel = nullptr;
    QPlainTextEdit *Memo1 = nullptr;
    QPushButton *BitBtnSend = nullptr;
    QStatusBar *StatusBar1 = nullptr;
    TMailSession NMSMTP1;

    static constexpr const char *HeloName = "torvexalin";
    static constexpr const char *FromName = "Pelmor User";
    static constexpr const char *LocalProgram = "Pelmor Mail Client";

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void FormCreate();
    void ConnectClient();
    void SetStatus(const QString &text);
    TPostMessage MakeMessage() const;
    void SendEnded(const QString &error);

    TMailServer FServer;
    QString FFromAddress;
    bool FClosing = false;
};
