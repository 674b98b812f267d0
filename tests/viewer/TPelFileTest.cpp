#include "viewer/TPelFile.h"

#include "tests/support/TempFolder.h"
#include "viewer/TBitmapFile.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

QByteArray Short(const QByteArray &s)
{
    return char(s.size()) + s;
}
QByteArray Int8(const QByteArray &name, int value)
{
    return Short(name) + '\x02' + char(value);
}

const QByteArray CaptionRecordStart = "TPF0" + Short("TListBox") + Short("ListBoxIcon") + Int8("Left", 84)
                                      + Int8("Top", 4) + Int8("Width", 53) + Int8("Height", 17)
                                      + Int8("ItemHeight", 12);
const QByteArray CaptionRecordEnd = Int8("TabOrder", 0) + Short("Visible") + '\x08' + QByteArray(2, '\0');
const QByteArray IconRecordStart = "TPF0" + Short("TImageList") + Short("ImageListIcons") + Int8("Height", 64)
                                   + Int8("Width", 64) + Int8("Left", 28) + Int8("Top", 32);

// An icon of one colour with its top-left quarter transparent.
QImage Colour(QRgb rgb)
{
    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(rgb);
    return image;
}
QImage QuarterMask()
{
    QImage mask(64, 64, QImage::Format_MonoLSB);
    mask.fill(0);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            mask.setPixel(x, y, 1);
    return mask;
}

TIconList Icons(const QList<QRgb> &colours)
{
    TIconList icons;
    for (QRgb rgb : colours)
        icons.Add(Colour(rgb), QuarterMask());
    return icons;
}

// Reading must fail with EPelFile and leave the lists it was given as they were.
void ExpectRefused(const QByteArray &bytes, const char *why)
{
    static const TIconList before = Icons({qRgb(1, 2, 3)});
    TIconList icons = before;
    QStringList captions{"kept"};
    EXPECT_THROW(TPelFile::Read(bytes, icons, captions), EPelFile) << why;
    EXPECT_EQ(icons.Count(), 1) << why;
    EXPECT_EQ(captions, QStringList{"kept"}) << why;
}

} // namespace

// Catches a record out of order, a default property written, a wrong integer type and the two
// optional properties written for an empty catalogue.
TEST(TPelFile, EmptyCatalogueIsTwoBareRecords)
{
    const QByteArray bytes = TPelFile::Write({}, {});
    EXPECT_EQ(bytes, IconRecordStart + QByteArray(2, '\0') + CaptionRecordStart + CaptionRecordEnd);
    TIconList icons = Icons({qRgb(9, 9, 9)});
    QStringList captions{"old"};
    TPelFile::Read(bytes, icons, captions);
    EXPECT_EQ(icons.Count(), 0);
    EXPECT_TRUE(captions.isEmpty());
}

// Catches a wrong binary layout (size word, count, two bitmap files), a grid of the wrong shape,
// captions out of their list, and short strings used for long ones.
TEST(TPelFile, TwoIconCatalogueBytes)
{
    const QString longCaption = "/p/" + QString(297, u'x');
    const QByteArray bytes = TPelFile::Write(Icons({qRgb(255, 0, 0), qRgb(0, 0, 255)}), {"/a/1.jpg", longCaption});
    ASSERT_TRUE(bytes.startsWith(IconRecordStart + Short("Bitmap") + '\x0a'));
    const qsizetype at = IconRecordStart.size() + 7 + 1;
    const uint32_t binarySize = ReadLE32(bytes.constData() + at);
    const char *binary = bytes.constData() + at + 4;
    const uint32_t imageSize = ReadLE32(binary);
    EXPECT_EQ(ReadLE32(binary + 4), 2u) << "icon count";
    TBitmapFileLayout image, mask;
    ASSERT_EQ(ReadBitmapFileLayout(binary + 8, imageSize, image), nullptr);
    ASSERT_EQ(ReadBitmapFileLayout(binary + 8 + imageSize, binarySize - 8 - imageSize, mask), nullptr);
    EXPECT_EQ((QList<int>{image.Width, image.Height, image.BitCount}), (QList<int>{128, 64, 24})) << "two across";
    EXPECT_EQ((QList<int>{mask.Width, mask.Height, mask.BitCount}), (QList<int>{128, 64, 1}));
    EXPECT_EQ(ReadLE32(binary + 8 + 2), imageSize) << "the image file's own size field";

    const QByteArray rest = bytes.mid(at + 4 + binarySize);
    const QByteArray longBytes = longCaption.toUtf8();
    QByteArray expected = QByteArray(2, '\0') + CaptionRecordStart + Short("Items.Strings") + '\x01' + '\x06'
                          + Short("/a/1.jpg") + '\x0c';
    for (int i = 0; i < 4; ++i)
        expected += char(longBytes.size() >> (8 * i));
    expected += longBytes + '\0' + CaptionRecordEnd;
    EXPECT_EQ(rest, expected);
}

// Catches a string of 256 bytes or more written as a short string, counted in characters instead of
// bytes: 200 two-byte characters are 400 bytes.
TEST(TPelFile, CaptionsCountedInBytes)
{
    for (const QString &caption : {QString(255, u'a'), QString(256, u'a'), QString(200, u'é')}) {
        const QByteArray bytes = TPelFile::Write({}, {caption});
        const QByteArray stored = QFile::encodeName(caption);
        const QByteArray type = bytes.mid(bytes.indexOf("Items.Strings") + 14, 1);
        EXPECT_EQ(type, stored.size() < 256 ? "\x06" : "\x0c") << caption.size();
        TIconList icons;
        QStringList captions;
        TPelFile::Read(bytes, icons, captions);
        EXPECT_EQ(captions, QStringList{caption});
    }
}

// Catches icons swapped or cut from the wrong cell, transparency lost, and more than four icons
// (two grid rows, a partly filled last row) read wrong.
TEST(TPelFile, RoundTripKeepsEachIconWithItsCaption)
{
    const QList<QRgb> colours{qRgb(255, 0, 0),  qRgb(0, 255, 0),   qRgb(0, 0, 255),
                              qRgb(9, 99, 199), qRgb(200, 100, 0), qRgb(50, 60, 70)};
    const QStringList captions{"/f/ä.jpg", "/f/b.jpg", "/f/c.jpg", "/f/d.jpg", "/f/e.jpg", ""};
    TIconList icons;
    QStringList read;
    TPelFile::Read(TPelFile::Write(Icons(colours), captions), icons, read);
    ASSERT_EQ(icons.Count(), 6);
    EXPECT_EQ(read, captions);
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(icons.Image(k).pixel(40, 40), colours[k]) << k;
        EXPECT_EQ(icons.Image(k).pixel(0, 63), colours[k]) << k;
        EXPECT_EQ(icons.Mask(k).pixelIndex(10, 10), 1) << k;
        EXPECT_EQ(icons.Mask(k).pixelIndex(31, 31), 1) << k;
        EXPECT_EQ(icons.Mask(k).pixelIndex(32, 10), 0) << k;
        EXPECT_EQ(icons.Mask(k).pixelIndex(10, 40), 0) << k;
    }
}

// Catches a reader that trusts lengths, counts or headers: every cut of a valid file, a count above
// the grid, a bitmap size field past the data, wrong signature and class all fail cleanly.
TEST(TPelFile, DamagedFilesAreRefusedAndChangeNothing)
{
    const QByteArray good = TPelFile::Write(Icons({qRgb(1, 1, 1), qRgb(2, 2, 2), qRgb(3, 3, 3)}), {"a", "b", "c"});
    for (qsizetype size = 0; size < good.size(); ++size)
        ExpectRefused(good.left(size), "cut");

    const qsizetype binary = IconRecordStart.size() + 7 + 1 + 4;
    auto patched = [&](qsizetype at, uint32_t value) {
        QByteArray bytes = good;
        WriteLE32(bytes.data() + at, value);
        return bytes;
    };
    ExpectRefused(patched(binary + 4, 5), "five icons in a grid of four cells");
    ExpectRefused(patched(binary + 4, 0xffffffffu), "a huge count");
    ExpectRefused(patched(binary, 0x7fffffffu), "image size past the end");
    ExpectRefused(patched(binary, 100), "image size cutting the image bitmap");
    ExpectRefused(patched(binary + 8 + TBitmapFileLayout::HeightAt, 6400), "image header taller than its rows");
    ExpectRefused(patched(binary - 4, 0xfffffff0u), "binary length past the end");
    const uint32_t imageSize = ReadLE32(good.constData() + binary);
    ExpectRefused(patched(binary + 8 + imageSize + 46, 3), "a 1-bit mask with three colours");

    QByteArray signature = good;
    signature[1] = 'X';
    ExpectRefused(signature, "bad signature");
    QByteArray wrongClass = good;
    wrongClass.replace("TImageList", "TImageLisX");
    ExpectRefused(wrongClass, "wrong class");
    QByteArray wrongSize = good;
    wrongSize.replace(Int8("Width", 64), Int8("Width", 32));
    ExpectRefused(wrongSize, "icons not 64 wide");
    QByteArray children = good;
    children.insert(binary - 4 + 4 + ReadLE32(good.constData() + binary - 4) + 1, '\x01');
    ExpectRefused(children, "child components");
}

// Catches the list file's case or length rule wrong, or another extension accepted.
TEST(TPelFile, DefaultNameFollowsTheListFile)
{
    EXPECT_EQ(TPelFile::DefaultName("/home/u/list.wst"), "/home/u/list.pel");
    EXPECT_EQ(TPelFile::DefaultName("/d.x/LIST.WsT"), "/d.x/LIST.pel");
    EXPECT_EQ(TPelFile::DefaultName("a.WST"), "a.pel");
    EXPECT_EQ(TPelFile::DefaultName(".WST"), "") << "no longer than four characters";
    EXPECT_EQ(TPelFile::DefaultName("/home/u/list.txt"), "");
    EXPECT_EQ(TPelFile::DefaultName(""), "");
}

// Catches a save that leaves a half-written file over the old one, or a load error without the name.
TEST(TPelFile, SaveAndLoadFiles)
{
    TTempFolder temp;
    const QString name = temp.file("cat.pel");
    TPelFile::Save(name, Icons({qRgb(5, 6, 7)}), {"/x.png"});
    TIconList icons;
    QStringList captions;
    TPelFile::Load(name, icons, captions);
    EXPECT_EQ(icons.Count(), 1);
    EXPECT_EQ(captions, QStringList{"/x.png"});

    const QString blocked = temp.write("plain", "x") + "/cat.pel";
    EXPECT_THROW(TPelFile::Save(blocked, icons, captions), EPelFile);
    temp.write("bad.pel", "TPF0\x0aTImageList");
    try {
        TPelFile::Load(temp.file("bad.pel"), icons, captions);
        ADD_FAILURE() << "a damaged file loaded";
    } catch (const EPelFile &e) {
        EXPECT_NE(std::string(e.what()).find("bad.pel"), std::string::npos) << e.what();
    }
    EXPECT_THROW(TPelFile::Load(temp.file("missing.pel"), icons, captions), EPelFile);
    EXPECT_EQ(icons.Count(), 1);
}

// Catches a reader tied to the depth it writes: a catalogue whose image grid is 1 bit a pixel (as a
// two-colour screen writes it) loads.
TEST(TPelFile, ReadsAnImageGridOfOtherDepth)
{
    TIconList icons;
    QStringList captions;
    TPelFile::Load(PELMOR_TEST_DATA "/mono.pel", icons, captions);
    ASSERT_EQ(icons.Count(), 1);
    EXPECT_EQ(captions, QStringList{"/home/u/tmp/a.jpg"});
    EXPECT_NE(icons.Image(0).pixel(0, 0), icons.Image(0).pixel(0, 1)) << "alternating rows";
}
