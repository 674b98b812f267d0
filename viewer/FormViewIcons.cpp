#include "viewer/FormViewIcons.h"

#include "resources/TDialogs.h"
#include "resources/TNotice.h"
#include "resources/TToolButtons.h"
#include "resources/TToolIcons.h"
#include "viewer/TPelFile.h"

#include <QApplication>
#include <QFileInfo>
#include <QListView>
#include <QMessageBox>
#include <QPixmap>
#include <QStandardItemModel>
#include <QToolBar>
#include <QToolButton>

namespace {

const QString Filter = QStringLiteral("ペルモｻﾑﾈｰﾙ (*.pel)");
const QString OwnCaption = QStringLiteral("Icons");
constexpr int ImageIndexRole = Qt::UserRole + 1;

// The icon as the view draws it: transparent where its mask is set.
QPixmap IconPixmap(const TIconList &Icons, int Index)
{
    if (Index < 0 || Index >= Icons.Count())
        return {};
    QImage image = Icons.Image(Index).convertToFormat(QImage::Format_ARGB32);
    const QImage &mask = Icons.Mask(Index);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (mask.pixelIndex(x, y))
                image.setPixel(x, y, 0);
    return QPixmap::fromImage(image);
}

// The hourglass over the icon view while a file is read or written; shown before the work starts.
class TWaitCursor
{
public:
    explicit TWaitCursor(QWidget *Widget) : FWidget(Widget)
    {
        FWidget->setCursor(Qt::WaitCursor);
        // Once, and without user input: a second click on a button must not start a second save.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    ~TWaitCursor() { FWidget->unsetCursor(); }
    TWaitCursor(const TWaitCursor &) = delete;
    TWaitCursor &operator=(const TWaitCursor &) = delete;

private:
    QWidget *FWidget;
};

} // namespace

TFormIcons::TFormIcons(QWidget *parent)
    : QMainWindow(parent)
    , ImageListIcons(&FOwnIcons)
    , ListBoxIcon(&FOwnCaptions)
    , ListViewIcon(new QListView(this))
    , FEntries(new QStandardItemModel(this))
{
    setWindowTitle(OwnCaption);
    // Made without a parent: it does not take the main window's icon from one.
    setWindowIcon(TToolIcons::ProgramIcon());
    resize(397, 272);
    MakeToolBar();

    ListViewIcon->setModel(FEntries);
    ListViewIcon->setViewMode(QListView::IconMode);
    ListViewIcon->setResizeMode(QListView::Adjust);
    ListViewIcon->setMovement(QListView::Static);
    ListViewIcon->setIconSize(QSize(TIconList::Width, TIconList::Height));
    ListViewIcon->setGridSize(QSize(120, 100));
    ListViewIcon->setTextElideMode(Qt::ElideLeft); // a path's end names its file
    ListViewIcon->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewIcon->setSelectionMode(QAbstractItemView::SingleSelection);
    ListViewIcon->setToolTip(QStringLiteral("テキストコード順で表示されます"));
    QPalette palette = ListViewIcon->palette();
    palette.setColor(QPalette::Base, QColor(128, 64, 64));
    palette.setColor(QPalette::Text, Qt::white);
    ListViewIcon->setPalette(palette);
    setCentralWidget(ListViewIcon);
    connect(ListViewIcon->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TFormIcons::OnSelectionChanged);

    InstallDefaultDialogs();
}

TFormIcons::~TFormIcons() = default;

void TFormIcons::MakeToolBar()
{
    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolButtonNew = TToolButtons::Add(ToolBar1, QStringLiteral("document-new"), QString());
    ToolButtonNew->setEnabled(false);
    ToolButtonLoad = TToolButtons::Add(ToolBar1, QStringLiteral("document-open"), QString());
    ToolButtonSave = TToolButtons::Add(ToolBar1, QStringLiteral("document-save"), QString());
    ToolBar1->addSeparator();
    ToolButtonLoadAdd = TToolButtons::Add(ToolBar1, QStringLiteral("list-add"), QString());
    ToolButtonLoadAdd->setEnabled(false);
    connect(ToolButtonLoad, &QToolButton::clicked, this, &TFormIcons::ToolButtonLoadClick);
    connect(ToolButtonSave, &QToolButton::clicked, this, &TFormIcons::ToolButtonSaveClick);
}

void TFormIcons::InstallDefaultDialogs()
{
    Confirm = [this](const QString &text, const QString &caption) { return TDialogs::Confirm(this, caption, text); };
    ChooseSaveFile = [this](const QString &name, const QString &filter) {
        return TDialogs::ChooseSaveFile(this, QString(), name, filter, nullptr);
    };
    ChooseOpenFile = [this](const QString &name, const QString &filter) {
        return TDialogs::ChooseOpenFile(this, QString(), name, filter);
    };
    // Not modal: a catalogue handed over by another program must not hold up the viewer.
    ShowMessage = [this](const QString &text) { TNotice::Show(this, QMessageBox::Warning, text); };
}

void TFormIcons::SetCaption(const QString &Name)
{
    // An empty title would show the program's name instead.
    setWindowTitle(Name.isEmpty() ? OwnCaption : Name);
}

void TFormIcons::SetIconList(TIconList *Icons)
{
    ImageListIcons = Icons ? Icons : &FOwnIcons;
}

void TFormIcons::ClearEntries()
{
    FEntries->clear();
}

int TFormIcons::SortedRow(const QString &Caption) const
{
    int low = 0, high = FEntries->rowCount();
    while (low < high) {
        const int mid = (low + high) / 2;
        if (QString::compare(EntryCaption(mid), Caption, Qt::CaseSensitive) <= 0)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

void TFormIcons::AddEntry(const QString &Caption, int ImageIndex)
{
    auto *item = new QStandardItem(IconPixmap(*ImageListIcons, ImageIndex), Caption);
    item->setData(ImageIndex, ImageIndexRole);
    FEntries->insertRow(SortedRow(Caption), item);
}

QString TFormIcons::EntryCaption(int Row) const
{
    return FEntries->item(Row)->text();
}

bool TFormIcons::HasEntry(const QString &Caption) const
{
    const int row = SortedRow(Caption) - 1;
    return row >= 0 && EntryCaption(row) == Caption;
}

int TFormIcons::EntryCount() const
{
    return FEntries->rowCount();
}

void TFormIcons::CaptionsInIconOrder()
{
    // One line per icon: an entry whose index names no icon has nothing to be saved with.
    *ListBoxIcon = QStringList(ImageListIcons->Count());
    for (int row = 0; row < FEntries->rowCount(); ++row) {
        const int index = FEntries->item(row)->data(ImageIndexRole).toInt();
        if (index >= 0 && index < ListBoxIcon->size())
            (*ListBoxIcon)[index] = EntryCaption(row);
    }
}

void TFormIcons::ToolButtonSaveClick()
{
    QString name = ChooseSaveFile(TPelFile::DefaultName(ListFileName ? ListFileName() : QString()), Filter);
    if (name.isEmpty())
        return;
    if (!name.contains(QLatin1Char('.')))
        name += QStringLiteral(".pel");
    if (QFileInfo::exists(name)
        && !Confirm(name + QStringLiteral(" は存在します。上書きしますか？"), QStringLiteral("上書きの確認")))
        return;
    TWaitCursor wait(ListViewIcon);
    CaptionsInIconOrder();
    try {
        TPelFile::Save(name, *ImageListIcons, *ListBoxIcon);
    } catch (const EPelFile &e) {
        ShowMessage(QString::fromStdString(e.what()));
    }
    ListBoxIcon->clear();
}

void TFormIcons::ToolButtonLoadClick()
{
    const QString name = ChooseOpenFile(TPelFile::DefaultName(ListFileName ? ListFileName() : QString()), Filter);
    if (!name.isEmpty() && QFileInfo::exists(name))
        LoadCatalogue(name);
}

void TFormIcons::LoadCatalogue(const QString &FileName)
{
    TWaitCursor wait(ListViewIcon);
    try {
        TPelFile::Load(FileName, *ImageListIcons, *ListBoxIcon);
    } catch (const EPelFile &e) {
        ShowMessage(QString::fromStdString(e.what()));
        return;
    }
    ClearEntries();
    // A file with fewer captions than icons leaves the rest uncaptioned rather than unshown.
    for (int k = 0; k < ImageListIcons->Count(); ++k)
        AddEntry(ListBoxIcon->value(k), k);
}

void TFormIcons::OnSelectionChanged(const QItemSelection &Selected)
{
    const QModelIndexList indexes = Selected.indexes();
    if (!indexes.isEmpty())
        ListViewIconSelectItem(EntryCaption(indexes.first().row()));
}

void TFormIcons::ListViewIconSelectItem(const QString &Caption)
{
    if (OnShowFile)
        OnShowFile(Caption);
}
