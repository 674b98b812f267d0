// The viewer's thumbnails: the build over all jobs and the icons it hands to the catalogue.
#include "viewer/FormView1.h"

#include "viewer/FormViewIcons.h"
#include "viewer/TIconMaker.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPixmap>
#include <QToolButton>

bool TFormView::AddIcon()
{
    const QImage icon = TIconMaker::MakeIcon(FImageSmall);
    if (icon.isNull())
        return false;
    ImageIcon->setPixmap(QPixmap::fromImage(icon));
    ImageListIcons.Add(icon);
    return true;
}

void TFormView::AddToCatalogue()
{
    if (FormIcons->HasEntry(FCurrentFile))
        return;
    if (AddIcon())
        FormIcons->AddEntry(FCurrentFile, ImageListIcons.Count() - 1);
}

void TFormView::SetBuilding(bool building)
{
    for (QToolButton *button : {SpeedButtonBf, SpeedButtonNext, SpeedButtonIcons})
        button->setEnabled(!building);
    SpeedButtonStop->setEnabled(building);
}

void TFormView::SpeedButtonIconsClick()
{
    ImageListIcons.Clear();
    FormIcons->ClearEntries();
    ListBoxIcon.clear();
    FStopRequest = false;
    ImageIcon->show();
    ImageIcon->raise();
    SetBuilding(true);
    // On from the start: a file shown while the first pending events are handled joins the
    // thumbnails too, rather than the catalogue whose icons are being rebuilt.
    FThumbnailMode = true;
    // The list is read afresh each time: rows may go while pending events are handled.
    for (int index = 0; FHost.JobCount && index < FHost.JobCount(); ++index) {
        QCoreApplication::processEvents();
        FThumbnailMode = true;
        ShowJob(index);
        if (FStopRequest)
            break;
    }
    ImageIcon->hide();
    FThumbnailMode = false;
    FormIcons->show();
    FormIcons->SetIconList(&ImageListIcons);
    for (int k = 0; k < ImageListIcons.Count(); ++k)
        FormIcons->AddEntry(ListBoxIcon.value(k), k);
    ListBoxIcon.clear();
    FormIcons->SetCaption(FHost.ListFileName ? FHost.ListFileName() : QString());
    SetBuilding(false);
}
