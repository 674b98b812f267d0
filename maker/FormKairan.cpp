#include "maker/FormKairan.h"

#include "core/jconvert.h"

#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QVBoxLayout>

namespace {
// Outer size less the title bar and borders of a window frame.
constexpr QSize ClientSize(367 - 6, 258 - 22);
} // namespace

TFormKairanban::TFormKairanban(QWidget *parent) : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("回覧版"));
    resize(ClientSize);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setToolTip(QStringLiteral("最新バージョン等をお知らせします"));
    QFont font(QStringLiteral("Noto Sans Mono CJK JP"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(12);
    Memo1->setFont(font);
    QPalette palette = Memo1->palette();
    palette.setColor(QPalette::Base, QColor(64, 128, 128));
    palette.setColor(QPalette::Text, Qt::white);
    Memo1->setPalette(palette);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Memo1);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TFormKairanban::ShowNotice(const QByteArray &text)
{
    show();
    // Lines end at CR LF, LF or a lone CR, as the notice's author may have written them.
    QString lines = jconvert::SjisToUnicode(text);
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    Memo1->setPlainText(lines);
}
