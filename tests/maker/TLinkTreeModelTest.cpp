#include "maker/TLinkTreeModel.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

QModelIndex At(const TLinkTreeModel &tree, std::initializer_list<int> rows)
{
    QModelIndex index;
    for (int row : rows)
        index = tree.index(row, 0, index);
    return index;
}

QString Text(const TLinkTreeModel &tree, std::initializer_list<int> rows)
{
    return At(tree, rows).data().toString();
}

} // namespace

// A double-click import searches from the node's first child on through the rest of the tree: a
// page further down is not listed again, one above is, and the first link under a childless node
// is added without any search.
TEST(TLinkTreeModelTest, SearchStartsAtImportParentsFirstChild)
{
    TLinkTreeModel tree;
    for (const char *page : {"a", "b", "c", "d"})
        tree.AddLinkNode({}, QByteArray(" ") + page, QStringLiteral("http://h/%1.html").arg(page));
    tree.AddLinkNode({}, " b again", "http://h/b.html");
    ASSERT_EQ(tree.rowCount(), 4) << "a top-level import searches the whole tree";
    EXPECT_EQ(Text(tree, {1}), " b |  b again");

    const QPersistentModelIndex b = At(tree, {1});
    tree.BeginImport(b);
    tree.AddLinkNode(b, " c first", "http://h/c.html");   // childless: added though "c" is listed below
    tree.AddLinkNode(b, " back to a", "http://h/a.html"); // listed above the start: a second node
    tree.AddLinkNode(b, " d below", "http://h/d.html");   // listed further down: not added again
    tree.AddLinkNode(b, " c twice", "http://h/c.html");   // the new child comes first in tree order
    tree.EndImport();

    ASSERT_EQ(tree.rowCount(b), 2);
    EXPECT_EQ(tree.Url(At(tree, {1, 0})), "http://h/c.html");
    EXPECT_EQ(Text(tree, {1, 0}), " c first |  c twice");
    EXPECT_EQ(tree.Url(At(tree, {1, 1})), "http://h/a.html");
    EXPECT_EQ(Text(tree, {2}), " c") << "the top-level c comes after b's child in tree order";
    EXPECT_EQ(Text(tree, {3}), " d |  d below");
    EXPECT_EQ(tree.NodeCount(), 6);
}

// Captions: "＜画像＞" for an empty first one, joined by " | " while shorter than 100 characters,
// cut at 100 Shift_JIS characters without splitting a double-byte one; an empty later caption adds nothing.
TEST(TLinkTreeModelTest, CaptionJoiningStopsAtHundredCharacters)
{
    TLinkTreeModel tree;
    tree.AddLinkNode({}, "", "http://h/i.jpg");
    tree.AddLinkNode({}, "", "http://h/i.jpg");
    EXPECT_EQ(Text(tree, {0}), QStringLiteral("＜画像＞"));
    tree.AddLinkNode({}, " x", "http://h/i.jpg");
    EXPECT_EQ(Text(tree, {0}), QStringLiteral("＜画像＞ |  x"));

    const QByteArray kana("\x83\x41", 2); // "ア"
    tree.AddLinkNode({}, QByteArray(98, 'a'), "http://h/p.html");
    tree.AddLinkNode({}, kana.repeated(5), "http://h/p.html");
    const QByteArray joined = tree.Caption(At(tree, {1}));
    EXPECT_EQ(joined, QByteArray(98, 'a') + " |");
    tree.AddLinkNode({}, "more", "http://h/p.html");
    EXPECT_EQ(tree.Caption(At(tree, {1})), joined) << "a caption of 100 characters no longer grows";

    tree.AddLinkNode({}, QByteArray(97, 'b') + kana.repeated(10), "http://h/k.html");
    EXPECT_EQ(tree.Caption(At(tree, {2})), QByteArray(97, 'b') + kana.repeated(3));
    tree.AddLinkNode({}, QByteArray(99, 'c') + "\x83", "http://h/odd.html");
    EXPECT_EQ(tree.Caption(At(tree, {3})).size(), 100) << "a lone lead byte at the end counts as one";
}

// The views hear of one import as one insertion, of Clear as one reset.
TEST(TLinkTreeModelTest, ImportReachesViewsInOneInsertion)
{
    TLinkTreeModel tree;
    QSignalSpy inserted(&tree, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&tree, &QAbstractItemModel::modelReset);
    tree.BeginImport({});
    for (int i = 0; i < 500; ++i)
        tree.AddLinkNode({}, "x", QStringLiteral("http://h/%1.html").arg(i % 300));
    EXPECT_EQ(tree.rowCount(), 0) << "nothing is shown before the import ends";
    tree.EndImport();
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 0);
    EXPECT_EQ(inserted[0][2].toInt(), 299);
    EXPECT_EQ(tree.rowCount(), 300);
    tree.Clear();
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(tree.rowCount(), 0);
    tree.AddLinkNode({}, "x", "http://h/0.html");
    EXPECT_EQ(tree.rowCount(), 1) << "Clear forgets the addresses too";
}
