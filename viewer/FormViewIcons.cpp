#include "FormViewIcons.h"

#include "TIconList.h"

#include <QListView>
#include <QStandardItemModel>

// Placeholder until the catalogue window lands: keeps the entries, shows nothing of files.
TFormIcons::TFormIcons(QWidget *parent)
    : QMainWindow(parent), ListViewIcon(new QListView(this)), FEntries(new QStandardItemModel(this))
{
    setWindowTitle(QStringLiteral("Icons"));
    ListViewIcon->setModel(FEntries);
    setCentralWidget(ListViewIcon);
}

TFormIcons::~TFormIcons() = default;

void TFormIcons::SetIconList(TIconList *Icons) { ImageListIcons = Icons; }
void TFormIcons::ClearEntries() { FEntries->clear(); }
void TFormIcons::AddEntry(const QString &Caption, int) { FEntries->appendRow(new QStandardItem(Caption)); }
bool TFormIcons::HasEntry(const QString &Caption) const { return !FEntries->findItems(Caption).isEmpty(); }
int TFormIcons::EntryCount() const { return FEntries->rowCount(); }
void TFormIcons::LoadCatalogue(const QString &) {}
void TFormIcons::ToolButtonSaveClick() {}
void TFormIcons::ToolButtonLoadClick() {}
void TFormIcons::ListViewIconSelectItem(const QString &Caption)
{
    if (OnShowFile)
        OnShowFile(Caption);
}
