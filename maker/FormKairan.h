#pragma once

#include <QWidget>

class QPlainTextEdit;

// The notice board: a small window showing the maker's latest news as it was received.
class TFormKairanban : public QWidget
{
    Q_OBJECT
public:
    explicit TFormKairanban(QWidget *parent = nullptr);

    // Replaces the shown lines by the notice, Shift_JIS bytes as received.
    void ShowNotice(const QByteArray &text);

    QPlainTextEdit *Memo1 = nullptr;
};
