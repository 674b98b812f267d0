#include "maker/TLinkTreeModel.h"

#include "core/jconvert.h"

#include <algorithm>

namespace {

// "＜画像＞" in Shift_JIS: the caption of a link whose first caption was empty.
const QByteArray ImageCaption("\x81\x83\x89\xe6\x91\x9c\x81\x84");
const QByteArray CaptionJoin(" | ");

bool IsSjisLead(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xfc);
}

} // namespace

struct TLinkTreeModel::TNode {
    TNode *Parent = nullptr;
    int Row = 0;
    int Shown = 0; // children the views have been told of
    int Chars = 0; // characters in Caption
    QByteArray Caption;
    QString Url;
    std::vector<std::unique_ptr<TNode>> Children;
};

QByteArray TLinkTreeModel::CaptionLeft(const QByteArray &text, int *chars)
{
    qsizetype at = 0;
    int count = 0;
    while (at < text.size() && count < CaptionMax) {
        const qsizetype width = IsSjisLead(uchar(text[at])) && at + 1 < text.size() ? 2 : 1;
        at += width;
        ++count;
    }
    if (chars)
        *chars = count;
    return at == text.size() ? text : text.left(at);
}

TLinkTreeModel::TLinkTreeModel(QObject *parent) : QAbstractItemModel(parent), FRoot(std::make_unique<TNode>()) {}

TLinkTreeModel::~TLinkTreeModel() = default;

// Tree order is the order of the row paths from the top, a node before its descendants; rows never
// change once given, since nodes are only appended.
std::vector<int> TLinkTreeModel::RowPath(const TNode *node)
{
    std::vector<int> path;
    for (; node && node->Parent; node = node->Parent)
        path.push_back(node->Row);
    std::reverse(path.begin(), path.end());
    return path;
}

TLinkTreeModel::TNode *TLinkTreeModel::FindFrom(TNode *parent, const QString &url) const
{
    const auto found = FByUrl.constFind(url);
    if (found == FByUrl.cend())
        return nullptr;
    const std::vector<int> start = RowPath(parent);
    TNode *best = nullptr;
    std::vector<int> bestPath;
    for (TNode *candidate : *found) {
        std::vector<int> path = RowPath(candidate);
        // After parent: parent's own descendants and everything later in the tree.
        if (!std::lexicographical_compare(start.begin(), start.end(), path.begin(), path.end()))
            continue;
        if (!best || path < bestPath) {
            best = candidate;
            bestPath = std::move(path);
        }
    }
    return best;
}

void TLinkTreeModel::AddLinkNode(const QModelIndex &parent, const QByteArray &caption, const QString &url)
{
    const bool bracketed = FImportParent != nullptr;
    if (!bracketed)
        BeginImport(parent);
    TNode *under = FImportParent;
    int chars = 0;
    const QByteArray text = CaptionLeft(caption, &chars);
    TNode *found = under->Children.empty() ? nullptr : FindFrom(under, url);
    if (!found) {
        auto node = std::make_unique<TNode>();
        node->Parent = under;
        node->Row = int(under->Children.size());
        node->Caption = text.isEmpty() ? ImageCaption : text;
        CaptionLeft(node->Caption, &node->Chars);
        node->Url = url;
        FByUrl[url].push_back(node.get());
        under->Children.push_back(std::move(node));
        ++FNodeCount;
    } else if (found->Chars < CaptionMax && !text.isEmpty()) {
        found->Caption = CaptionLeft(found->Caption + CaptionJoin + text, &found->Chars);
        if (found->Row < found->Parent->Shown) {
            const QModelIndex changed = IndexOf(found);
            emit dataChanged(changed, changed, {Qt::DisplayRole});
        }
    }
    if (!bracketed)
        EndImport();
}

void TLinkTreeModel::BeginImport(const QModelIndex &parent)
{
    EndImport();
    FImportParent = parent.isValid() ? NodeOf(parent) : FRoot.get();
}

void TLinkTreeModel::EndImport()
{
    TNode *under = FImportParent;
    FImportParent = nullptr;
    if (!under || under->Shown == int(under->Children.size()))
        return;
    beginInsertRows(IndexOf(under), under->Shown, int(under->Children.size()) - 1);
    under->Shown = int(under->Children.size());
    endInsertRows();
}

void TLinkTreeModel::Clear()
{
    beginResetModel();
    FImportParent = nullptr;
    FByUrl.clear();
    FRoot = std::make_unique<TNode>();
    FNodeCount = 0;
    endResetModel();
}

TLinkTreeModel::TNode *TLinkTreeModel::NodeOf(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<TNode *>(index.internalPointer()) : FRoot.get();
}

QModelIndex TLinkTreeModel::IndexOf(TNode *node, int column) const
{
    return node == FRoot.get() ? QModelIndex() : createIndex(node->Row, column, node);
}

QByteArray TLinkTreeModel::Caption(const QModelIndex &index) const
{
    return index.isValid() ? NodeOf(index)->Caption : QByteArray();
}

QString TLinkTreeModel::Url(const QModelIndex &index) const
{
    return index.isValid() ? NodeOf(index)->Url : QString();
}

QModelIndex TLinkTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    const TNode *under = NodeOf(parent);
    if (row < 0 || row >= under->Shown || column < 0 || column >= 2)
        return {};
    return createIndex(row, column, under->Children[size_t(row)].get());
}

QModelIndex TLinkTreeModel::parent(const QModelIndex &child) const
{
    return child.isValid() ? IndexOf(NodeOf(child)->Parent) : QModelIndex();
}

int TLinkTreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return NodeOf(parent)->Shown;
}

int TLinkTreeModel::columnCount(const QModelIndex &) const
{
    return 2;
}

QVariant TLinkTreeModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    const TNode *node = NodeOf(index);
    return index.column() == 0 ? jconvert::SjisToUnicode(node->Caption) : node->Url;
}

QVariant TLinkTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    if (section == 0)
        return QStringLiteral("表示");
    return section == 1 ? QVariant(QStringLiteral("ＵＲＬ")) : QVariant();
}
