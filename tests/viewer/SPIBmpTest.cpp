#include "viewer/SPIBmp.h"

#include "tests/viewer/SPITestSupport.h"
#include "viewer/TDibImage.h"

#include <QBuffer>

namespace {

const QStringList PictureCalls{"GetPictureInfo", "GetPicture"};

// A small bitmap file, as the base reader reads it.
QByteArray BitmapFile()
{
    QImage image(2, 2, QImage::Format_RGB32);
    image.fill(qRgb(1, 2, 3));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes;
}

class SPIBmpTest : public ::testing::Test
{
protected:
    void Load(const std::vector<const char *> &Plugins)
    {
        for (const char *name : Plugins)
            FSPIs.Add(CreateSPI(TestSpi(name)));
    }
    // Loads a file of Bytes named Name; the error text, or "" when it loaded.
    QString LoadFile(const QString &Name, const QByteArray &Bytes)
    {
        try {
            FBitmap.LoadFromFile(FLog.Folder().write(Name, Bytes));
            return QString();
        } catch (const std::exception &e) {
            return QString::fromUtf8(e.what());
        }
    }
    // The handles a successful GetPicture handed over must all be freed.
    void ExpectHandedBlocksFreed(const QStringList &Calls)
    {
        for (const QString &call : Calls)
            if (call.section(u' ', 1, 1) == "GetPicture" && call.section(u' ', 3, 3) == "1") {
                EXPECT_EQ(LocalSize(call.section(u' ', 4, 4).toUInt()), 0u) << call.toStdString();
                EXPECT_EQ(LocalSize(call.section(u' ', 5, 5).toUInt()), 0u) << call.toStdString();
            }
    }

    TSpiLog FLog;
    TSPIs FSPIs;
    TSPIBitmap FBitmap;
};

} // namespace

// Catches claimers tried after other decoders or in load order, IsSupported given no (or a relative)
// name, short data handed over without its zero padding or with the padded length, and the error text
// when nothing reads a file.
TEST_F(SPIBmpTest, TriesClaimersFirstOnPaddedData)
{
    Load({"spi_claim_a", "spi_other", "spi_claim_b"});
    const QString path = FLog.Folder().file("x.clm");
    EXPECT_EQ(LoadFile("x.clm", QByteArray(100, '\x7f')), "認識できない画像形式です");
    EXPECT_EQ(FLog.Take({"IsSupported", "GetPictureInfo"}),
              (QStringList{"spi_claim_b IsSupported " + path, "spi_claim_b GetPictureInfo 100 1 padded",
                           "spi_claim_a IsSupported " + path, "spi_claim_a GetPictureInfo 100 1 padded",
                           "spi_other IsSupported " + path, "spi_other GetPictureInfo 100 1 padded"}));
    EXPECT_EQ(FBitmap.InSPIAble().FileName, QString());
    EXPECT_EQ(FBitmap.InSPIAble().Extension, QString());

    // Long data is handed over as it is.
    EXPECT_NE(LoadFile("y.oth", QByteArray(3000, '\x7f')), "");
    EXPECT_EQ(FLog.Take({"GetPictureInfo"}).first(), "spi_other GetPictureInfo 3000 1 -");
}

// Catches a second trial for data no longer than the MacBinary header, none for 129 bytes, one
// despite MacBinary being off, and a retry that does not save a picture behind 128 bytes.
TEST_F(SPIBmpTest, MacBinaryRetry)
{
    Load({"spi_other"});
    LoadFile("a.oth", QByteArray(128, 'm'));
    EXPECT_EQ(FLog.Take({"GetPictureInfo"}), QStringList{"spi_other GetPictureInfo 128 1 padded"});
    LoadFile("a.oth", QByteArray(129, 'm'));
    EXPECT_EQ(FLog.Take({"GetPictureInfo"}),
              (QStringList{"spi_other GetPictureInfo 129 1 padded", "spi_other GetPictureInfo 1 1 padded"}));

    EXPECT_EQ(LoadFile("a.oth", QByteArray(128, 'm') + "PELTESTg"), "");
    EXPECT_EQ(FBitmap.Bitmap().size(), QSize(3, 2));
    EXPECT_EQ(FBitmap.Bitmap().pixel(0, 1), qRgb(202, 201, 200));
    const QStringList calls = FLog.Take(PictureCalls);
    EXPECT_EQ(calls.mid(0, 3), (QStringList{"spi_other GetPictureInfo 136 1 padded", "spi_other GetPicture 136 refused",
                                            "spi_other GetPictureInfo 8 1 padded"}));
    ExpectHandedBlocksFreed(calls);

    FBitmap.MacBinary = false;
    EXPECT_NE(LoadFile("a.oth", QByteArray(128, 'm') + "PELTESTg"), "");
    EXPECT_EQ(FLog.Take({"GetPictureInfo"}).size(), 1);
}

// Catches a lost comment, one read past its block (it has no NUL), and comment or picture blocks
// left allocated.
TEST_F(SPIBmpTest, DecodesWithComment)
{
    Load({"spi_comment"});
    EXPECT_EQ(LoadFile("p.cmt", "PELTESTp"), "");
    EXPECT_EQ(FBitmap.Bitmap().pixel(0, 1), qRgb(200, 200, 200));
    EXPECT_EQ(FBitmap.Bitmap().pixel(1, 0), qRgb(205, 205, 205));
    EXPECT_EQ(FBitmap.InSPIAble().PictureInfo.Comment, "comment");
    EXPECT_EQ(FBitmap.InSPIAble().PictureInfo.Width, 3);
    const QStringList calls = FLog.Take({"Comment", "GetPicture"});
    ASSERT_EQ(calls.size(), 2);
    EXPECT_EQ(LocalSize(calls.at(0).section(u' ', 2, 2).toUInt()), 0u);
    ExpectHandedBlocksFreed(calls);
}

// Catches a broken picture from a plug-in read as far as it claims, garbage handles dereferenced, and
// the blocks of a failed hand-over left allocated.
TEST_F(SPIBmpTest, BrokenPicturesAreErrors)
{
    Load({"spi_other"});
    EXPECT_THROW(FBitmap.LoadFromFile(FLog.Folder().write("b.oth", "PELTESTb")), EInvalidDib);
    ExpectHandedBlocksFreed(FLog.Take(PictureCalls));
    EXPECT_THROW(FBitmap.LoadFromFile(FLog.Folder().write("x.oth", "PELTESTx")), EInvalidDib);
    EXPECT_EQ(FBitmap.InSPIAble().FileName, QString());
}

// Catches the plug-ins asked before the base reader for bitmaps and nameless streams (or after it for
// other names), data read from the stream's position instead of its start, and no error without a collection.
TEST_F(SPIBmpTest, OrderOfTrial)
{
    Load({"spi_other"});
    const QByteArray bitmap = BitmapFile();
    EXPECT_EQ(LoadFile("b.BMP", bitmap), "");
    EXPECT_EQ(FLog.Take(), QStringList());
    EXPECT_EQ(LoadFile("b.oth", bitmap), "");
    EXPECT_EQ(FBitmap.Bitmap().pixel(0, 0), qRgb(1, 2, 3));
    EXPECT_EQ(FLog.Take({"GetPicture"}),
              QStringList{"spi_other GetPicture " + QString::number(bitmap.size()) + " refused"});

    QBuffer nameless;
    nameless.setData(bitmap);
    nameless.open(QIODevice::ReadOnly);
    FBitmap.LoadFromStream(nameless);
    EXPECT_EQ(FLog.Take(), QStringList());

    QBuffer stream;
    stream.setData("PELTESTg");
    stream.open(QIODevice::ReadOnly);
    stream.seek(5);
    FBitmap.LoadFromStream(stream);
    EXPECT_EQ(FLog.Take({"IsSupported"}), QStringList{"spi_other IsSupported "});
    FBitmap.LoadFromStreamNamed(stream, "s.oth");
    EXPECT_EQ(FLog.Take({"IsSupported"}), QStringList{"spi_other IsSupported s.oth"});
    EXPECT_EQ(FBitmap.Bitmap().size(), QSize(3, 2));

    FSPIs.Clear();
    FBitmap = TSPIBitmap();
    EXPECT_EQ(LoadFile("c.oth", "PELTESTg"), "認識できない画像形式です");
    EXPECT_TRUE(FBitmap.Bitmap().isNull());
}

// Catches the registry not reaching the plug-ins: a registered extension loads through TSPIBitmap.
TEST_F(SPIBmpTest, LoadsThroughTheRegistry)
{
    Load({"spi_two"});
    const QImage image = LoadPicture(FLog.Folder().write("r.bbb", "PELTESTg"));
    EXPECT_EQ(image.size(), QSize(3, 2));
    EXPECT_THROW(LoadPicture(FLog.Folder().write("r.aaa", "PELTESTg")), EInvalidGraphic);
}
