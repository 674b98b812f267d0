#pragma once

#include <QDialog>

#include <functional>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QPushButton;
struct TSettings;

// The options dialog: edits the settings in memory; they reach the file when the main window closes.
class TFormOpt : public QDialog
{
    Q_OBJECT
public:
    explicit TFormOpt(TSettings &settings, QWidget *parent = nullptr);

    void FormShow();
    void ButtonUpdateClick();

    QTabWidget *PageControl1 = nullptr;
    // "Option"
    QSpinBox *UDThSum = nullptr; // edit and up-down in one control, 1..9
    QCheckBox *CheckBoxHead = nullptr;
    QGroupBox *GroupBoxFileName = nullptr;
    QRadioButton *RadioButtonLong = nullptr;
    QRadioButton *RadioButtonShort = nullptr;
    QPushButton *ButtonUpdate = nullptr;
    QGroupBox *GroupBoxImport = nullptr;
    QCheckBox *CheckBoxGif = nullptr;
    QCheckBox *CheckBoxSumNail = nullptr;
    QCheckBox *CheckBoxSRC = nullptr;
    // "Etc"
    QLineEdit *EditReference = nullptr;
    QLineEdit *EditCookie = nullptr;
    QGroupBox *GroupBoxAgent = nullptr;
    QRadioButton *RadioButtonIE = nullptr;
    QRadioButton *RadioButtonText = nullptr;
    QLineEdit *EditAText = nullptr;
    QLineEdit *EditProxy = nullptr;
    // "Debug"
    QPlainTextEdit *ResultsMemo = nullptr;
    QPlainTextEdit *MemoGHeader = nullptr;
    // "EX"
    QLineEdit *EditTOC = nullptr;
    QCheckBox *CheckBox20k = nullptr;
    QCheckBox *CheckBoxSkipDone = nullptr;   // SkipDone: URLs of the download history are not fetched again
    QCheckBox *CheckBoxDuplicates = nullptr; // Duplicates: a file of content already there is removed
    QCheckBox *CheckBoxSound1 = nullptr;
    QCheckBox *CheckBoxSound2 = nullptr;
    QSpinBox *UDInterval = nullptr;      // the scheduler's timer, ms
    QSpinBox *UDMaxTries = nullptr;      // attempts before a failing row is given up; 0 = no limit
    QSpinBox *UDStartsPerTick = nullptr; // rows started on one tick, 1..9
    QSpinBox *UDHostLimit = nullptr;     // rows of one host running at once; 0 = no limit
    QLineEdit *EditHostGap = nullptr;    // ms between two starts to one host, "500" or "500±50%"
    QLineEdit *EditKairanURL = nullptr;  // the notice board's address
    QLineEdit *EditCookieFile = nullptr; // cookies.txt or cookies.sqlite sent with requests; empty: none
    QPushButton *ButtonCookieFile = nullptr;
    QCheckBox *CheckBoxNetrc = nullptr; // logins from $NETRC or ~/.netrc
    // Asks for the cookie file; empty when cancelled. Tests put their own in its place.
    std::function<QString(const QString &current)> ChooseCookieFile;
    QCheckBox *CheckBoxLazyImages = nullptr; // the page import reads data-src, data-original and srcset
    QLineEdit *EditRateLimit = nullptr;      // the download cap, bytes per second: "500K", "2M"; 0 = none

protected:
    void showEvent(QShowEvent *event) override;
    void done(int result) override;

private:
    QWidget *MakeOptionTab();
    QWidget *MakeEtcTab();
    QWidget *MakeDebugTab();
    QWidget *MakeExTab();

    TSettings &FSettings;
};
