#include "download/TSha256.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QRandomGenerator>

#include <gtest/gtest.h>

// Catches a block lost, hashed twice or out of order on its way to the hashing thread, a tail left
// behind at the end, and a Reset that lets an earlier body's blocks into the next hash.
TEST(TSha256Test, PiecesOfAnySizeHashAsTheWholeBody)
{
    QByteArray body(5 * (1 << 20) + 123, Qt::Uninitialized);
    QRandomGenerator generator(27);
    for (char &b : body)
        b = char(generator.generate());
    const QByteArray expected = QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex();

    TSha256 hash;
    hash.Add(body.constData(), 3 << 20); // an unfinished body: Reset must drop it
    hash.Reset();
    for (qsizetype at = 0, piece = 1; at < body.size(); at += piece, piece = piece * 3 % 70001 + 1)
        hash.Add(body.constData() + at, std::min(piece, body.size() - at));
    EXPECT_EQ(hash.Size(), body.size());
    EXPECT_EQ(hash.HexResult(), expected);

    hash.Reset();
    QBuffer device(&body);
    ASSERT_TRUE(device.open(QIODevice::ReadOnly));
    QString reason;
    ASSERT_TRUE(hash.AddFrom(device, body.size(), &reason));
    EXPECT_EQ(hash.HexResult(), expected);
    hash.Reset();
    EXPECT_FALSE(hash.AddFrom(device, body.size() + 1, &reason));
    EXPECT_EQ(reason, "the file is shorter than expected");
    hash.Reset();
    EXPECT_EQ(hash.HexResult(), QCryptographicHash::hash({}, QCryptographicHash::Sha256).toHex());
}
