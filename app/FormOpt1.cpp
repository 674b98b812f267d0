#include "app/FormOpt1.h"

#include "core/TSettings.h"
#include "download/TRateLimit.h"
#include "resources/TDialogs.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QCheckBox *CheckBox(const QString &caption, const QString &hint = {})
{
    auto *box = new QCheckBox(caption);
    box->setToolTip(hint);
    return box;
}

QPlainTextEdit *HeaderMemo(const QString &hint)
{
    auto *memo = new QPlainTextEdit;
    memo->setReadOnly(true);
    memo->setToolTip(hint);
    return memo;
}

} // namespace

TFormOpt::TFormOpt(TSettings &settings, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), FSettings(settings)
{
    setWindowTitle(QStringLiteral("FormOpt"));
    setModal(false);
    PageControl1 = new QTabWidget(this);
    PageControl1->addTab(MakeOptionTab(), QStringLiteral("Option"));
    PageControl1->addTab(MakeEtcTab(), QStringLiteral("Etc"));
    PageControl1->addTab(MakeDebugTab(), QStringLiteral("Debug"));
    PageControl1->addTab(MakeExTab(), QStringLiteral("EX"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1);
    setFixedSize(420, 330);
}

QWidget *TFormOpt::MakeOptionTab()
{
    auto *page = new QWidget;
    UDThSum = new QSpinBox;
    UDThSum->setRange(1, TSettings::MaxThreads + 1);
    UDThSum->setToolTip(QStringLiteral("一度作ったスレッドはプログラムを終了させるまで開放しません"));
    CheckBoxHead = CheckBox(QStringLiteral("Head Command"), QStringLiteral("チェックする必要はほとんど無いでしょう"));

    GroupBoxFileName = new QGroupBox(QStringLiteral("File Name"));
    GroupBoxFileName->setToolTip(QStringLiteral("LongはＵＲＬ変換ファイル名称、Ｓｈｏｒｔは通常のファイル名称"));
    RadioButtonLong = new QRadioButton(QStringLiteral("Long"));
    RadioButtonShort = new QRadioButton(QStringLiteral("Short"));
    RadioButtonLong->setChecked(true);
    auto *names = new QHBoxLayout(GroupBoxFileName);
    names->addWidget(RadioButtonLong);
    names->addWidget(RadioButtonShort);

    ButtonUpdate = new QPushButton(QStringLiteral("更新"));
    connect(ButtonUpdate, &QPushButton::clicked, this, &TFormOpt::ButtonUpdateClick);

    GroupBoxImport = new QGroupBox(QStringLiteral("URL ｲﾝﾎﾟｰﾄ"));
    GroupBoxImport->setToolTip(QStringLiteral(" html 以外はｲﾝﾎﾟｰﾄ対象としています"));
    CheckBoxGif = CheckBox(QStringLiteral("Gifを除く"));
    CheckBoxSumNail =
        CheckBox(QStringLiteral("ｻﾑﾈｰﾙ／ﾊﾞﾅｰｻｲｽﾞを除く"),
                 QStringLiteral("ｻｲｽﾞが５００×５００より小さい指定がしてある場合、ｻﾑﾈｰﾙ／ﾊﾞﾅｰと判断しています"));
    CheckBoxSRC = CheckBox(QStringLiteral("SRCを除く"));
    auto *import = new QVBoxLayout(GroupBoxImport);
    import->addWidget(CheckBoxGif);
    import->addWidget(CheckBoxSumNail);
    import->addWidget(CheckBoxSRC);

    auto *threads = new QHBoxLayout;
    threads->addWidget(new QLabel(QStringLiteral("Threads")));
    threads->addWidget(UDThSum);
    threads->addStretch();
    auto *left = new QVBoxLayout;
    left->addLayout(threads);
    left->addWidget(CheckBoxHead);
    left->addWidget(GroupBoxFileName);
    left->addWidget(ButtonUpdate);
    left->addStretch();
    auto *layout = new QHBoxLayout(page);
    layout->addLayout(left);
    layout->addWidget(GroupBoxImport, 0, Qt::AlignTop);
    return page;
}

QWidget *TFormOpt::MakeEtcTab()
{
    auto *page = new QWidget;
    const QString keepEmpty = QStringLiteral("空白にしておいたほうが無難");
    EditReference = new QLineEdit;
    EditReference->setToolTip(keepEmpty);
    EditCookie = new QLineEdit;
    EditCookie->setToolTip(keepEmpty);
    EditProxy = new QLineEdit;
    EditProxy->setToolTip(QStringLiteral("ﾌﾟﾛｷｼのﾃｽﾄは不十分です(--;"));

    // The agent text is fixed; the group only shows it.
    GroupBoxAgent = new QGroupBox(QStringLiteral("Agent"));
    GroupBoxAgent->setToolTip(QStringLiteral("現在、固定です。"));
    GroupBoxAgent->setEnabled(false);
    RadioButtonIE = new QRadioButton(QStringLiteral("IE4.0"));
    RadioButtonIE->setChecked(true);
    RadioButtonText = new QRadioButton(QStringLiteral("Text"));
    EditAText = new QLineEdit;
    auto *agent = new QHBoxLayout(GroupBoxAgent);
    agent->addWidget(RadioButtonIE);
    agent->addWidget(RadioButtonText);
    agent->addWidget(EditAText);

    auto *layout = new QFormLayout(page);
    layout->addRow(QStringLiteral("Reference"), EditReference);
    layout->addRow(QStringLiteral("Cookie"), EditCookie);
    layout->addRow(GroupBoxAgent);
    layout->addRow(QStringLiteral("Proxy"), EditProxy);
    return page;
}

QWidget *TFormOpt::MakeDebugTab()
{
    auto *page = new QWidget;
    ResultsMemo = HeaderMemo(QStringLiteral("Ｈｅａｄコマンドのヘッダ"));
    MemoGHeader = HeaderMemo(QStringLiteral("Ｇｅｔコマンドのヘッダ"));
    auto *layout = new QHBoxLayout(page);
    layout->addWidget(ResultsMemo);
    layout->addWidget(MemoGHeader);
    return page;
}

QWidget *TFormOpt::MakeExTab()
{
    auto *page = new QWidget;
    EditTOC = new QLineEdit;
    EditTOC->setToolTip(QStringLiteral("２５～７５ぐらいが適当でしょう"));
    EditTOC->setMaximumWidth(60);
    CheckBox20k = CheckBox(QStringLiteral("20KB 未満のファイルは、取得を中止する。"));
    CheckBoxSound1 = CheckBox(QStringLiteral("モニター表示時は、ファイル取得後に効果音を出力する。"));
    CheckBoxSound2 = CheckBox(QStringLiteral("取得終了時、効果音を出力する。"));
    UDInterval = new QSpinBox;
    UDInterval->setRange(TSettings::MinInterval, TSettings::MaxInterval);
    UDInterval->setSuffix(QStringLiteral(" ms"));
    UDInterval->setToolTip(QStringLiteral("取得を開始する間隔です"));
    UDStartsPerTick = new QSpinBox;
    UDStartsPerTick->setRange(1, TSettings::MaxStartsPerTick);
    UDStartsPerTick->setToolTip(QStringLiteral("１回に開始する件数です（空いているスレッドの数まで）"));
    UDHostLimit = new QSpinBox;
    UDHostLimit->setRange(0, TSettings::MaxHostLimit);
    UDHostLimit->setSpecialValueText(QStringLiteral("無制限"));
    UDHostLimit->setMinimumWidth(UDInterval->sizeHint().width());
    UDHostLimit->setToolTip(QStringLiteral("同じホストから同時に取得する件数の上限です（0 は無制限）"));
    EditHostGap = new QLineEdit;
    EditHostGap->setMaximumWidth(90);
    EditHostGap->setToolTip(
        QStringLiteral("同じホストへの開始の間隔（ms）。500±50% のように揺らぎも指定できます（+- も可、0 はなし）"));
    UDMaxTries = new QSpinBox;
    UDMaxTries->setRange(0, 9999);
    UDMaxTries->setSpecialValueText(QStringLiteral("無制限"));
    UDMaxTries->setMinimumWidth(UDInterval->sizeHint().width());
    UDMaxTries->setToolTip(QStringLiteral("この回数リトライしても取得できない項目は中止します（0 は無制限）"));

    auto *retry = new QHBoxLayout;
    retry->addWidget(new QLabel(QStringLiteral("HTTP1.1の場合は、カウント")));
    retry->addWidget(EditTOC);
    retry->addWidget(new QLabel(QStringLiteral("でリトライする。")));
    retry->addStretch();
    auto *layout = new QVBoxLayout(page);
    layout->addLayout(retry);
    layout->addWidget(CheckBox20k);
    layout->addWidget(CheckBoxSound1);
    layout->addWidget(CheckBoxSound2);
    auto *interval = new QHBoxLayout;
    interval->addWidget(new QLabel(QStringLiteral("タイマー間隔")));
    interval->addWidget(UDInterval);
    interval->addWidget(new QLabel(QStringLiteral("１回に")));
    interval->addWidget(UDStartsPerTick);
    interval->addWidget(new QLabel(QStringLiteral("件")));
    interval->addStretch();
    layout->addLayout(interval);
    auto *tries = new QHBoxLayout;
    tries->addWidget(new QLabel(QStringLiteral("試行回数の上限")));
    tries->addWidget(UDMaxTries);
    tries->addStretch();
    layout->addLayout(tries);
    auto *host = new QHBoxLayout;
    host->addWidget(new QLabel(QStringLiteral("同一ホスト　同時")));
    host->addWidget(UDHostLimit);
    host->addWidget(new QLabel(QStringLiteral("間隔")));
    host->addWidget(EditHostGap);
    host->addWidget(new QLabel(QStringLiteral("ms")));
    host->addStretch();
    layout->addLayout(host);
    EditCookieFile = new QLineEdit;
    EditCookieFile->setToolTip(QStringLiteral(
        "ブラウザの Cookie（cookies.txt または Firefox の cookies.sqlite）を送ります（空白は使わない）"));
    ButtonCookieFile = new QPushButton(QStringLiteral("…"));
    ButtonCookieFile->setMaximumWidth(30);
    ChooseCookieFile = [this](const QString &current) {
        return TDialogs::ChooseOpenFile(this, QStringLiteral("Cookie ファイル"), current,
                                        QStringLiteral("Cookie(*.txt *.sqlite) (*.txt *.sqlite);;All(*.*) (*)"));
    };
    connect(ButtonCookieFile, &QPushButton::clicked, this, [this] {
        if (const QString chosen = ChooseCookieFile(EditCookieFile->text()); !chosen.isEmpty())
            EditCookieFile->setText(chosen);
    });
    CheckBoxNetrc = CheckBox(QStringLiteral(".netrc"),
                             QStringLiteral("URL にユーザー名がなければ ~/.netrc のものを使います"));
    auto *cookies = new QHBoxLayout;
    cookies->addWidget(new QLabel(QStringLiteral("Cookie ファイル")));
    cookies->addWidget(EditCookieFile);
    cookies->addWidget(ButtonCookieFile);
    cookies->addWidget(CheckBoxNetrc);
    layout->addLayout(cookies);
    CheckBoxLazyImages = CheckBox(QStringLiteral("遅延読込の画像も取込"),
                                  QStringLiteral("ページ取込で data-src・data-original・srcset のアドレスも読みます"));
    EditRateLimit = new QLineEdit;
    EditRateLimit->setMaximumWidth(90);
    EditRateLimit->setToolTip(
        QStringLiteral("全体の取得速度の上限（バイト／秒）。500K、2M のように指定します（0 は無制限）"));
    auto *dataRow = new QHBoxLayout;
    dataRow->addWidget(CheckBoxLazyImages);
    dataRow->addWidget(new QLabel(QStringLiteral("帯域上限")));
    dataRow->addWidget(EditRateLimit);
    dataRow->addWidget(new QLabel(QStringLiteral("B/s")));
    dataRow->addStretch();
    layout->addLayout(dataRow);
    CheckBoxSkipDone = CheckBox(QStringLiteral("取得履歴にあるＵＲＬは、取得しない。"),
                                QStringLiteral("ファイルを削除・移動していても、取得済みとして終了します"));
    CheckBoxDuplicates = CheckBox(QStringLiteral("取得履歴と同じ内容のファイルは、新しい方を削除する。"),
                                  QStringLiteral("チェックしないときは、同じ内容のファイル名を表示するだけです"));
    layout->addWidget(CheckBoxSkipDone);
    layout->addWidget(CheckBoxDuplicates);
    EditKairanURL = new QLineEdit;
    EditKairanURL->setToolTip(QStringLiteral("回覧版のテキストファイルのＵＲＬ"));
    auto *kairan = new QHBoxLayout;
    kairan->addWidget(new QLabel(QStringLiteral("回覧版")));
    kairan->addWidget(EditKairanURL);
    layout->addLayout(kairan);
    layout->addStretch();
    return page;
}

void TFormOpt::FormShow()
{
    const TSettings &s = FSettings;
    EditReference->setText(s.Ref);
    EditCookie->setText(s.Cookie);
    EditProxy->setText(s.Proxy);
    UDThSum->setValue(s.Threads + 1);
    EditTOC->setText(QString::number(s.TimeOutCTR));
    CheckBoxGif->setChecked(s.Gif == 0);
    CheckBoxSRC->setChecked(s.SRC == 0);
    CheckBoxSumNail->setChecked(s.SNSize == 0);
    CheckBoxSound1->setChecked(s.Sound1 == 1);
    CheckBoxSound2->setChecked(s.Sound2 == 1);
    CheckBox20k->setChecked(s.Size20KB == 1);
    RadioButtonLong->setChecked(s.FileType == 1);
    RadioButtonShort->setChecked(s.FileType != 1);
    UDInterval->setValue(s.Interval);
    UDMaxTries->setValue(s.MaxTries);
    UDStartsPerTick->setValue(s.StartsPerTick);
    UDHostLimit->setValue(s.HostLimit);
    EditHostGap->setText(s.HostGap.Text());
    CheckBoxLazyImages->setChecked(s.LazyImages == 1);
    EditRateLimit->setText(s.RateLimit.Text());
    CheckBoxSkipDone->setChecked(s.SkipsDone());
    CheckBoxDuplicates->setChecked(s.RemovesDuplicates());
    EditKairanURL->setText(s.KairanURL);
    EditCookieFile->setText(s.CookieFile);
    CheckBoxNetrc->setChecked(s.UsesNetrc());
}

void TFormOpt::ButtonUpdateClick()
{
    TSettings &s = FSettings;
    s.Ref = EditReference->text();
    s.Cookie = EditCookie->text();
    s.Proxy = EditProxy->text();
    s.Threads = UDThSum->value() - 1;
    bool numeric = false;
    const int timeOut = EditTOC->text().trimmed().toInt(&numeric);
    if (numeric && TSettings::ValidTimeOutCTR(timeOut))
        s.TimeOutCTR = timeOut;
    s.Gif = CheckBoxGif->isChecked() ? 0 : 1;
    s.SRC = CheckBoxSRC->isChecked() ? 0 : 1;
    s.SNSize = CheckBoxSumNail->isChecked() ? 0 : 1;
    s.Sound1 = CheckBoxSound1->isChecked() ? 1 : 0;
    s.Sound2 = CheckBoxSound2->isChecked() ? 1 : 0;
    s.Size20KB = CheckBox20k->isChecked() ? 1 : 0;
    s.FileType = RadioButtonLong->isChecked() ? 1 : 2;
    s.Interval = UDInterval->value();
    s.MaxTries = UDMaxTries->value();
    s.StartsPerTick = UDStartsPerTick->value();
    s.HostLimit = UDHostLimit->value();
    // A gap that cannot be read is kept out, as a bad stall limit is.
    if (const std::optional<THostGap> gap = THostGap::Parse(EditHostGap->text()))
        s.HostGap = *gap;
    s.LazyImages = CheckBoxLazyImages->isChecked() ? 1 : 0;
    if (const std::optional<TRateCap> cap = TRateCap::Parse(EditRateLimit->text())) {
        s.RateLimit = *cap;
        // Running downloads follow at once, whatever the scheduler's interval.
        TRateLimit::Program().SetBytesPerSecond(cap->BytesPerSecond);
    }
    s.SkipDone = CheckBoxSkipDone->isChecked() ? 1 : 0;
    s.Duplicates = CheckBoxDuplicates->isChecked() ? 1 : 0;
    s.KairanURL = EditKairanURL->text();
    s.CookieFile = EditCookieFile->text().trimmed();
    s.Netrc = CheckBoxNetrc->isChecked() ? 1 : 0;
}

void TFormOpt::showEvent(QShowEvent *event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TFormOpt::done(int result)
{
    // Closing by the title bar or by Escape both end here: the controls are stored either way.
    ButtonUpdateClick();
    QDialog::done(result);
}
