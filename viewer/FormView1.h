#pragma once

#include "viewer/TIconList.h"
#include "viewer/TViewerHost.h"

#include <QImage>
#include <QMainWindow>
#include <QPoint>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>

class QLabel;
class QProgressBar;
class QScrollArea;
class QToolBar;
class QToolButton;
class TBroadcast;
class TFormIcons;
class TSPIs;
class TSharedMemory;
class TViewSurface;

// The picture viewer: shows the downloaded file of a job fitted or at its actual size, steps through
// the jobs, rotates the shown picture, builds the thumbnails of all jobs for the catalogue, drags
// the shown file to other programs and shows the download progress. It never writes a file.
class TFormView : public QMainWindow
{
    Q_OBJECT
public:
    // HandOverName is the key of the hand-over message and the name of its shared block.
    explicit TFormView(TViewerHost Host, QWidget *parent = nullptr, const QString &HandOverName = QString());
    ~TFormView() override;

    void ShowFile(const QString &Path);
    void ShowJob(int Index);

    void SpeedButtonBfClick();
    void SpeedButtonNextClick();
    void SpeedButtonIconsClick();
    void SpeedButtonStopClick();
    void SpeedButtonZoomClick();
    void SpeedButtonJitsuClick();
    void SpeedButtonCRotateClick();
    void SpeedButtonRotateClick();
    void SpeedButtonFileListClick();
    void SpeedButtonTopFormClick();
    void BC1BroadcastMsg();
    // Workers 0..9 on PBar1..PBar10, the whole list on PBar0.
    void SetProgress(const std::array<int, 10> &Workers, int Overall);

    QString CurrentFile() const { return FCurrentFile; }
    const QImage &ImageSmall() const { return FImageSmall; }
    bool ThumbnailMode() const { return FThumbnailMode; }
    bool ActualSize() const { return FActualSize; }

    // The main window, brought to the front by SpeedButtonTopForm.
    QWidget *MainForm = nullptr;
    // Starts a drag that offers these files for copying.
    std::function<void(const QStringList &Files)> StartDrag;
    // Opens a program or a folder; false when that failed.
    std::function<bool(const QString &Path, bool IsProgram)> ShellOpen;

    QToolBar *ToolBar1 = nullptr;
    QToolButton *SpeedButtonBf = nullptr;
    QToolButton *SpeedButtonNext = nullptr;
    QToolButton *SpeedButtonIcons = nullptr;
    QToolButton *SpeedButtonStop = nullptr;
    QToolButton *SpeedButtonZoom = nullptr;
    QToolButton *SpeedButtonJitsu = nullptr;
    QToolButton *SpeedButtonCRotate = nullptr;
    QToolButton *SpeedButtonRotate = nullptr;
    QToolButton *SpeedButtonFileList = nullptr;
    QToolButton *SpeedButtonTopForm = nullptr;
    std::array<QProgressBar *, 11> PBar{}; // PBar[0] is PBar0, …
    QScrollArea *ScrollBox1 = nullptr;
    TViewSurface *ImageBig = nullptr;
    QLabel *ImageIcon = nullptr;
    QStringList ListBoxIcon;
    TIconList ImageListIcons;
    TFormIcons *FormIcons = nullptr;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void MakeToolBar();
    void MakeProgressBars();
    void MakeScrollBox();
    void MakeCatalogue();
    void StartHandOver(const QString &Name);
    void Redraw();
    void FormResize();
    // Adds the icon of the current picture to ImageListIcons; false when there is no picture.
    bool AddIcon();
    void AddToCatalogue();
    void Step(bool forward);
    void Rotate(void (*Turn)(QImage &));
    void SetBuilding(bool building);
    void OfferFiles(const QStringList &Files);
    void ImageBigMouseDown(const QPoint &global);
    void ImageBigMouseMove(const QPoint &global, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);

    TViewerHost FHost;
    std::unique_ptr<TSPIs> SPIs1;
    std::unique_ptr<TSharedMemory> SMM1;
    TBroadcast *BC1 = nullptr;
    QImage FImageSmall;
    QString FCurrentFile;
    bool FStopRequest = false;
    bool FActualSize = false;
    bool FBroadcastBusy = false;
    bool FThumbnailMode = false;
    QPoint FDragOrigin;
    QPoint FLastPoint;
};
