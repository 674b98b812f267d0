#include "resources/TToolIcons.h"

#include "app/HttpThr1.h"
#include "maker/FormHome1.h"
#include "resources/TRowIcons.h"
#include "tests/support/MainWindowFixture.h"
#include "tests/support/TempFolder.h"
#include "viewer/FormView1.h"
#include "viewer/FormViewIcons.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

// Share of pixels whose colour or coverage differs clearly between two pictures of one size.
double Difference(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    int differing = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row);
            const QRgb q = y.pixel(col, row);
            const int d = std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q))
                          + std::abs(qAlpha(p) - qAlpha(q));
            differing += d > 96;
        }
    return double(differing) / (x.width() * x.height());
}

int Painted(const QImage &image)
{
    int count = 0;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int row = 0; row < argb.height(); ++row)
        for (int col = 0; col < argb.width(); ++col)
            count += qAlpha(argb.pixel(col, row)) > 64;
    return count;
}

// Every button of a toolbar must show a picture, and no two may be told apart only by their hints.
void ExpectDistinctPictures(QToolBar *bar, const char *window)
{
    QList<QImage> pictures;
    QStringList names;
    for (QToolButton *button : bar->findChildren<QToolButton *>()) {
        if (button->objectName() == QLatin1String("qt_toolbar_ext_button"))
            continue;
        const QImage picture = button->icon().pixmap(16, 16).toImage();
        EXPECT_GE(Painted(picture), 20) << window << ": the button \"" << button->toolTip().toStdString()
                                        << "\" has almost no picture";
        pictures.append(picture);
        names.append(button->toolTip());
    }
    ASSERT_GE(pictures.size(), 4) << window;
    for (int i = 0; i < pictures.size(); ++i)
        for (int j = i + 1; j < pictures.size(); ++j)
            EXPECT_GE(Difference(pictures[i], pictures[j]), 0.10)
                << window << ": \"" << names[i].toStdString() << "\" looks like \"" << names[j].toStdString() << "\"";
}

// Our own pictures stand in: no icon theme is found anywhere.
class ToolIconsTest : public MainWindowFixture
{
protected:
    void SetUp() override
    {
        savedPaths = QIcon::themeSearchPaths();
        savedTheme = QIcon::themeName();
        savedFallback = QIcon::fallbackThemeName();
        QIcon::setThemeSearchPaths({themes.path()});
        QIcon::setThemeName(QStringLiteral("pelmor-absent"));
        QIcon::setFallbackThemeName(QStringLiteral("pelmor-absent"));
        MainWindowFixture::SetUp();
    }
    void TearDown() override
    {
        QIcon::setThemeSearchPaths(savedPaths);
        QIcon::setThemeName(savedTheme);
        QIcon::setFallbackThemeName(savedFallback);
    }

    TTempFolder themes;
    QStringList savedPaths;
    QString savedTheme;
    QString savedFallback;
};

} // namespace

TEST_F(ToolIconsTest, EveryWindowsButtonsShowDistinctPictures)
{
    ExpectDistinctPictures(form->ToolBar1, "main window");
    ExpectDistinctPictures(form->FormHome->ToolBar1, "URL window");
    TFormView view{TViewerHost{}};
    ExpectDistinctPictures(view.ToolBar1, "viewer");
    TFormIcons icons;
    ExpectDistinctPictures(icons.ToolBar1, "thumbnails");
}

TEST_F(ToolIconsTest, RowImagesDifferPairwise)
{
    const QList<int> rows{TRowIcons::NotStarted, TRowIcons::Complete, TRowIcons::Partly, TRowIcons::Running,
                          TRowIcons::PartComplete};
    for (int i = 0; i < rows.size(); ++i)
        for (int j = i + 1; j < rows.size(); ++j)
            EXPECT_GE(Difference(TRowIcons::Image(rows[i]).scaled(16, 16), TRowIcons::Image(rows[j]).scaled(16, 16)),
                      0.10)
                << rows[i] << " and " << rows[j];
}

// The desktop's theme comes first; our drawing only fills its gaps; a missing drawing gives no icon at all.
TEST_F(ToolIconsTest, DesktopThemeComesFirst)
{
    ASSERT_TRUE(QDir().mkpath(themes.file("desk/16x16/actions")));
    QFile index(themes.file("desk/index.theme"));
    ASSERT_TRUE(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=desk\nDirectories=16x16/actions\n\n[16x16/actions]\nSize=16\nType=Fixed\n");
    index.close();
    QImage solid(16, 16, QImage::Format_ARGB32);
    solid.fill(qRgb(0, 200, 0));
    ASSERT_TRUE(solid.save(themes.file("desk/16x16/actions/document-new.png")));
    QIcon::setThemeName(QStringLiteral("desk"));

    const QImage themed = TToolIcons::Themed(QStringLiteral("document-new")).pixmap(16, 16).toImage();
    EXPECT_EQ(themed.convertToFormat(QImage::Format_RGB32).pixel(8, 8), qRgb(0, 200, 0));
    const QImage own = TToolIcons::Themed(QStringLiteral("document-open")).pixmap(16, 16).toImage();
    EXPECT_LT(Difference(own, TToolIcons::Own(QStringLiteral("document-open")).pixmap(16, 16).toImage()), 0.01);
    EXPECT_GE(Painted(own), 20);
    EXPECT_TRUE(TToolIcons::Own(QStringLiteral("pelmor-no-such-picture")).isNull());
}
