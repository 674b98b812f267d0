// The main window's list files: open, save, the list kept between runs, dropped files and merging.
#include "app/HttpThr1.h"

#include "core/TJobListFile.h"
#include "core/TListCommands.h"
#include "core/TMergeFiles.h"
#include "core/TUrlEntry.h"
#include "download/LocalFileName.h"
#include "maker/FormHome1.h"
#include "maker/MakeSequence.h"
#include "resources/TDialogs.h"

#include <QFileInfo>
#include <QLabel>
#include <QTreeView>

namespace {

const QString ListFilter = QStringLiteral("Pelmor(*.WST) (*.WST *.wst)");
const QString TextFilter = QStringLiteral("Text(*.TXT) (*.TXT *.txt)");
const QString OpenFilters = ListFilter + QStringLiteral(";;Reget(*.WRG) (*.WRG *.wrg);;") + TextFilter
                            + QStringLiteral(";;All(*.*) (*)");

// The name with the extension of its file-name part dropped.
QString WithoutExtension(const QString &name)
{
    const QFileInfo info(name);
    const QString suffix = info.suffix();
    return suffix.isEmpty() || info.fileName() == QLatin1Char('.') + suffix ? name : name.chopped(suffix.size() + 1);
}

} // namespace

void TFormMain::InstallDefaultDialogs()
{
    Confirm = [this](const QString &text, const QString &caption) { return TDialogs::Confirm(this, caption, text); };
    ChooseSaveFile = [this](const QString &caption, const QString &name, const QString &filters, QString *selected) {
        return TDialogs::ChooseSaveFile(this, caption, name, filters, selected);
    };
    ChooseOpenFile = [this](const QString &caption, const QString &name, const QString &filters) {
        return TDialogs::ChooseOpenFile(this, caption, name, filters);
    };
}

QString TFormMain::DefaultListFile() const
{
    return ProgramFolder + QStringLiteral("/default.wst");
}

void TFormMain::SetListFileName(const QString &name)
{
    ListFileName = name;
    setWindowTitle(QStringLiteral("ソラリト [") + name + QLatin1Char(']'));
}

bool TFormMain::LoadList(const QString &fileName)
{
    // The list kept between runs may simply not exist yet.
    if (fileName == DefaultListFile() && !QFileInfo::exists(fileName))
        return true;
    const TJobListFile::TLoadReport report = TJobListFile::LoadList(
        Jobs, fileName,
        {MakeSequence::Offered,
         [this](const QString &url, const QString &start, const QString &end, const QString &length,
                const QString &step) { return FormHome->MakeFromRecord(url, start, end, length, step); }});
    if (!report.error.isEmpty())
        ShowMessage(report.error);
    if (report.skippedLines > 0)
        SetStatus(QStringLiteral("%1 行を読み込めませんでした（%2 行目）。")
                      .arg(report.skippedLines)
                      .arg(TJobListFile::SkippedLineNumbers(report)));
    return report.error.isEmpty();
}

void TFormMain::TButtonOpenClick()
{
    const QString name = ChooseOpenFile(QString(), ListFileName, OpenFilters);
    if (name.isEmpty() || !QFileInfo::exists(name))
        return;
    // A list that was not read is not the one a later save should overwrite.
    if (LoadList(name))
        SetListFileName(name);
}

void TFormMain::TButtonSaveClick()
{
    const QStringList filters{ListFilter, TextFilter};
    const QString extension = QFileInfo(ListFileName).suffix().toUpper();
    QString filter = extension == QStringLiteral("TXT") ? TextFilter : ListFilter;
    const QString chosen = ChooseSaveFile(QString(), WithoutExtension(ListFileName), filters.join(QStringLiteral(";;")),
                                          &filter);
    if (chosen.isEmpty())
        return;
    // By the filter's place in the list: a dialog may report it by its shown name alone.
    const bool asList = TDialogs::FilterIndex(filters, filter) != 1;
    const QString name = WithoutExtension(chosen) + (asList ? QStringLiteral(".WST") : QStringLiteral(".TXT"));
    if (QFileInfo::exists(name)
        && !Confirm(name + QStringLiteral(" は存在します。上書きしますか？"), QStringLiteral("上書きの確認")))
        return;
    QString error;
    const bool saved = asList ? TJobListFile::SaveList(Jobs, name, &error)
                              : TJobListFile::SaveUrlText(Jobs, name, &error);
    if (!saved) {
        ShowMessage(error);
        return;
    }
    SetListFileName(name);
}

void TFormMain::DropFileTarget1Drop(const QStringList &files)
{
    TUrlEntry::TAddReport dropped;
    for (const QString &file : files) {
        if (file.right(4).toUpper() == QStringLiteral(".WST")) {
            LoadList(file);
            continue;
        }
        const TUrlEntry::TAddReport one = TUrlEntry::AddUrls(Jobs,
                                                             {TListCommands::DroppedFileUrl(file, ProgramFolder)});
        dropped.added += one.added;
        dropped.refused += one.refused;
    }
    if (!dropped.refused.isEmpty())
        ShowMessage(TUrlEntry::RefusalText(dropped.refused, dropped.added));
}

void TFormMain::PopMargeClick()
{
    const QList<int> selected = SelectedRows();
    if (selected.isEmpty())
        return;
    // Parts of two versions of a file would join into neither.
    if (const QString refusal = TListCommands::MergeRefusal(Jobs, selected); !refusal.isEmpty()) {
        ShowMessage(refusal);
        return;
    }
    const QString suggested =
        QFileInfo(LocalFileName::For(ProgramFolder, Jobs.Cell(selected.first(), SubURL), false)).fileName();
    const QString target = ChooseSaveFile(QString(), suggested, QStringLiteral("すべてのファイル（*.*） (*)"), nullptr);
    if (target.isEmpty())
        return;
    ListViewMon->setCursor(Qt::WaitCursor);
    SetStatus(QString());
    QString error;
    const QStringList parts = TListCommands::LocalFiles(Jobs, selected, ProgramFolder, Settings.LongFileNames(), true);
    QByteArray sha256;
    if (TMergeFiles::Merge(parts, target, &error, &sha256)) {
        Scheduler.RecordMerged(Jobs.Cell(selected.first(), SubURL), target, sha256);
        SetStatus(QStringLiteral("マージ完了"));
    } else
        ShowMessage(error);
    ListViewMon->unsetCursor();
}
