#pragma once

#include <QAbstractItemModel>
#include <QByteArray>
#include <QHash>
#include <QString>

#include <memory>
#include <vector>

// The link tree of the page import: each node holds a caption in Shift_JIS as scanned and an
// absolute URL. Columns: the caption ("表示") and the URL ("ＵＲＬ").
class TLinkTreeModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    static constexpr int CaptionMax = 100; // in Shift_JIS characters, a double-byte one counting once

    // The first CaptionMax characters of a Shift_JIS text, never half a double-byte character; chars
    // receives how many characters that is.
    static QByteArray CaptionLeft(const QByteArray &text, int *chars = nullptr);

    explicit TLinkTreeModel(QObject *parent = nullptr);
    ~TLinkTreeModel() override;

    // Adds a node for url under parent (top level when invalid) unless the search from parent's first
    // child on, through the rest of the tree, finds one; a found node's caption grows instead.
    void AddLinkNode(const QModelIndex &parent, const QByteArray &caption, const QString &url);
    // Nodes added under parent between these two reach the views as one insertion.
    void BeginImport(const QModelIndex &parent);
    void EndImport();
    void Clear();

    QByteArray Caption(const QModelIndex &index) const;
    QString Url(const QModelIndex &index) const;
    int NodeCount() const { return FNodeCount; }

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct TNode;
    TNode *NodeOf(const QModelIndex &index) const;
    QModelIndex IndexOf(TNode *node, int column = 0) const;
    TNode *FindFrom(TNode *parent, const QString &url) const;
    static std::vector<int> RowPath(const TNode *node);

    std::unique_ptr<TNode> FRoot;
    QHash<QString, std::vector<TNode *>> FByUrl;
    TNode *FImportParent = nullptr; // set between BeginImport and EndImport
    int FNodeCount = 0;
};
