#pragma once

#include "viewer/TIconList.h"

#include <QMainWindow>
#include <QStringList>

#include <functional>

class QItemSelection;
class QListView;
class QStandardItemModel;
class QToolBar;
class QToolButton;

// The thumbnail catalogue: the viewer's icons captioned with their files' paths, sorted by caption;
// selecting one shows its picture in the viewer. Saves and loads catalogue files (.pel).
class TFormIcons : public QMainWindow
{
    Q_OBJECT
public:
    explicit TFormIcons(QWidget *parent = nullptr);
    ~TFormIcons() override;

    // What the catalogue uses of the viewer, set by the viewer when both are made.
    TIconList *ImageListIcons = nullptr;             // the viewer's icons
    QStringList *ListBoxIcon = nullptr;              // the viewer's captions, one per icon, when saved or loaded
    std::function<void(const QString &)> OnShowFile; // clears the viewer's thumbnail mode, shows the file
    std::function<QString()> ListFileName;           // the job-list file last opened or saved

    // Questions, file choices and messages go through these, so that they can be answered without a person.
    std::function<bool(const QString &text, const QString &caption)> Confirm;
    std::function<QString(const QString &name, const QString &filter)> ChooseSaveFile;
    std::function<QString(const QString &name, const QString &filter)> ChooseOpenFile;
    std::function<void(const QString &text)> ShowMessage;

    // The catalogue's file or list name as the title; the window's own caption when there is none.
    void SetCaption(const QString &Name);
    // The viewer's icon list becomes the view's small and large icons.
    void SetIconList(TIconList *Icons);
    void ClearEntries();
    void AddEntry(const QString &Caption, int ImageIndex);
    bool HasEntry(const QString &Caption) const;
    int EntryCount() const;
    // Reads a catalogue file into the viewer's lists and rebuilds the entries; a fault is shown in a
    // message box and leaves the catalogue as it was.
    void LoadCatalogue(const QString &FileName);

    void ToolButtonSaveClick();
    void ToolButtonLoadClick();
    void ListViewIconSelectItem(const QString &Caption);
    // The caption of the entry shown at Row (entries are sorted by caption).
    QString EntryCaption(int Row) const;

    QToolBar *ToolBar1 = nullptr;
    QToolButton *ToolButtonNew = nullptr;
    QToolButton *ToolButtonLoad = nullptr;
    QToolButton *ToolButtonSave = nullptr;
    QToolButton *ToolButtonLoadAdd = nullptr;
    QListView *ListViewIcon = nullptr;

private:
    void MakeToolBar();
    void InstallDefaultDialogs();
    void OnSelectionChanged(const QItemSelection &Selected);
    // The row a new entry of this caption goes to: text-code order, equal captions in order of adding.
    int SortedRow(const QString &Caption) const;
    // Empties ListBoxIcon and fills line k with the caption of the entry showing icon k.
    void CaptionsInIconOrder();

    QStandardItemModel *FEntries = nullptr;
    // The lists until the viewer hands over its own.
    TIconList FOwnIcons;
    QStringList FOwnCaptions;
};
