#include "TQtTranslation.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

// Qt's own buttons speak Japanese once the translation is installed, as the program installs it at start.
TEST(TQtTranslationTest, MessageBoxButtonsAreJapanese)
{
    ASSERT_TRUE(TQtTranslation::Install(*qApp));
    QMessageBox box(QMessageBox::Warning, QStringLiteral("except"), QStringLiteral("text"),
                    QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("キャンセル"));
}
