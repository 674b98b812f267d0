#include "maker/FormHome1.h"

#include "core/TSettings.h"
#include "maker/FormKairan.h"

#include <QLineEdit>
#include <QStatusBar>
#include <QToolButton>

void TFormHome::ConnectFetch()
{
    connect(&HomeFetch, &THomeFetch::StatusTextChanged, this,
            [this](const QString &text) { StatusBar1->showMessage(text); });
    connect(&HomeFetch, &THomeFetch::LampChanged, this,
            [this](bool red) { SetLampColour(red ? QColor(255, 0, 0) : QColor(Qt::black)); });
    connect(&HomeFetch, &THomeFetch::FetchingChanged, this,
            [this](bool fetching) { SetFetchButtonsEnabled(!fetching); });
}

void TFormHome::SetFetchButtonsEnabled(bool enabled)
{
    for (QToolButton *button : {ToolButtonMake, ToolButtonKairan, ToolButtonDiv})
        button->setEnabled(enabled);
}

void TFormHome::ToolButtonDivClick()
{
    HomeFetch.Split(EditURL->text());
}

void TFormHome::ToolButtonStopClick()
{
    HomeFetch.Stop();
}

void TFormHome::ToolButtonKairanClick()
{
    if (!HomeFetch.FetchNotice(FSettings.KairanURL))
        return;
    if (!FormKairanban)
        FormKairanban = new TFormKairanban(this);
    FormKairanban->ShowNotice(HomeFetch.PageText);
}
