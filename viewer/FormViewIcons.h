#pragma once

#include <QMainWindow>
#include <QStringList>

#include <functional>

class QListView;
class QStandardItemModel;
class QToolBar;
class QToolButton;
class TIconList;

// The thumbnail catalogue: the viewer's icons captioned with their files' paths, sorted by caption;
// selecting one shows its picture in the viewer. Saves and loads catalogue files (.pel).
class TFormIcons : public QMainWindow
{
    Q_OBJECT
public:
    explicit TFormIcons(QWidget *parent = nullptr);
    ~TFormIcons() override;

    // What the catalogue uses of the viewer, set by the viewer when both are made.
    TIconList *ImageListIcons = nullptr;  // the viewer's icons
    QStringList *ListBoxIcon = nullptr;   // the viewer's captions, one per icon, when saved or loaded
    std::function<void(const QString &)> OnShowFile; // clears the viewer's thumbnail mode, shows the file
    std::function<QString()> ListFileName;           // the job-list file last opened or saved

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

    QToolBar *ToolBar1 = nullptr;
    QToolButton *ToolButtonNew = nullptr;
    QToolButton *ToolButtonLoad = nullptr;
    QToolButton *ToolButtonSave = nullptr;
    QToolButton *ToolButtonLoadAdd = nullptr;
    QListView *ListViewIcon = nullptr;

private:
    QStandardItemModel *FEntries = nullptr;
};
