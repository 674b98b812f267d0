#pragma once

#include <QByteArray>
#include <QModelIndex>
#include <QPersistentModelIndex>
#include <QString>
#include <QStringList>

#include <functional>

class TAWKStr;
class THomeFetch;
class TJobListModel;
class TLinkTreeModel;
struct TSettings;

// Reads the link and image addresses of a fetched page: files become jobs, pages and the addresses
// the filters hold back become link tree nodes under the import's parent.
class TLinkImport
{
public:
    // Bytes of an anchor's text read for its caption: far more than any caption needs, and a bound
    // on the work when a page leaves its anchors open.
    static constexpr int CaptionWindow = 4096;

    TLinkImport(TJobListModel &jobs, TLinkTreeModel &tree, TAWKStr &awk);

    // The page import: fetches url on fetch and scans what arrived, its links going under parent (the
    // top level when parent is none or was removed meanwhile). False when the fetch was stopped.
    bool ImportPage(THomeFetch &fetch, const QString &url, const QPersistentModelIndex &parent,
                    const TSettings &settings);

    // Converts pageText to Shift_JIS in place, then reads "href" and "HREF" links, and "src" and
    // "SRC" ones when the SRC setting is 1, in that order; with LazyImages 1 as well, then the lazy
    // and responsive addresses of image tags.
    void ScanLinks(QByteArray &pageText, const QString &pageUrl, const QModelIndex &parent, const TSettings &settings);
    // The display text of an anchor: its text pieces each after a space, line breaks for BR and P.
    static QByteArray LinkCaption(const QByteArray &fragment);

    // Each link as it is placed: its absolute address, and whether it was offered as a job.
    std::function<void(const QString &url, bool job)> OnLink;

private:
    void ExtractLinks(const QByteArray &name);
    // data-src, data-original and srcset of <img>, srcset of <source>, in page order.
    void ExtractLazyLinks();
    // An address read from an image tag, placed unless the tag gave the same address already.
    void PlaceLazyLink(QByteArrayView value, const QByteArray &region, QStringList &seen);
    // A job, or a tree node with its caption; region holds the declared sizes.
    void PlaceLink(const QString &link, const QString &url, const QByteArray &region, const QByteArray &caption);
    QByteArray CaptionAfter(qsizetype close, const QByteArray &endTag);
    bool IsSmall(const QByteArray &region);
    int DeclaredSize(const QByteArray &lowerRegion, const QByteArray &pattern);
    bool GoesToTree(const QString &link, const QByteArray &region);

    TJobListModel &FJobs;
    TLinkTreeModel &FTree;
    TAWKStr &FAwk;
    const QByteArray *FPage = nullptr;
    QString FBase;
    QModelIndex FParent;
    const TSettings *FSettings = nullptr;
    qsizetype FEndTagAt = 0; // where the last end tag search found one (-1: none is left)
};
