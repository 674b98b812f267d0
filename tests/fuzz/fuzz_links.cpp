// The page link import on any bytes, with the filters taken from the first byte: every link the scan
// reports is afterwards in the job list or the tree, and as many are reported as the page has link
// attributes (with LazyImages, at least its href ones). A second scan under the first node exercises
// the search from a node inside the tree.
#include "core/TJobListModel.h"
#include "core/TSettings.h"
#include "core/jconvert.h"
#include "maker/TLinkImport.h"
#include "maker/TLinkTreeModel.h"
#include "maker/bmRegExp.h"
#include "tests/fuzz/FuzzSupport.h"

#include <QSet>

#include <cstdint>

namespace {

void CollectUrls(const TLinkTreeModel &tree, const QModelIndex &parent, QSet<QString> &urls)
{
    for (int row = 0; row < tree.rowCount(parent); ++row) {
        const QModelIndex node = tree.index(row, 0, parent);
        urls.insert(tree.Url(node));
        CollectUrls(tree, node, urls);
    }
}

// Link attributes as the scan rules count them: a name, then a ">" not directly after it.
int LinkAttributes(const QByteArray &page, const QByteArray &name)
{
    int count = 0;
    for (qsizetype from = 0; from < page.size(); ++count) {
        const qsizetype at = page.indexOf(name, from);
        const qsizetype close = at < 0 ? -1 : page.indexOf('>', at + name.size());
        if (close <= at + name.size())
            break;
        from = close + 2;
    }
    return count;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::StartApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    TSettings settings;
    settings.Gif = data[0] & 1;
    settings.SNSize = (data[0] >> 1) & 1;
    settings.SRC = (data[0] >> 2) & 3;
    settings.LazyImages = (data[0] >> 4) & 1;
    const QByteArray page(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));

    TJobListModel jobs;
    TLinkTreeModel tree;
    TAWKStr awk;
    TLinkImport import(jobs, tree, awk);
    QList<QPair<QString, bool>> links;
    import.OnLink = [&](const QString &url, bool job) { links.append({url, job});
};
QByteArray text = page;
import.ScanLinks(text, QStringLiteral("http://h/dir/page.html"), {}, settings);
text = page;
import.ScanLinks(text, QStringLiteral("http://h/dir/sub/next.html"), tree.index(0, 0), settings);

const QByteArray converted = jconvert::ConvertCode(page, jconvert::jcSjis);
int expected = LinkAttributes(converted, "href") + LinkAttributes(converted, "HREF");
// The lazy scan reads src only as a whole name, and adds addresses of its own.
const bool lazy = settings.SRC == 1 && settings.LazyImages == 1;
if (settings.SRC == 1 && !lazy)
    expected += LinkAttributes(converted, "src") + LinkAttributes(converted, "SRC");
FuzzSupport::Check(lazy ? links.size() >= 2 * expected : links.size() == 2 * expected,
                   "every link attribute is reported");

QSet<QString> nodes, files;
CollectUrls(tree, {}, nodes);
for (int row = 0; row < jobs.RowCount(); ++row)
    files.insert(jobs.Cell(row, SubURL));
for (const auto &[url, job] : links)
    FuzzSupport::Check(job ? files.contains(url) : nodes.contains(url), "every link is a job or a node");
FuzzSupport::Check(tree.NodeCount() == 0 || tree.rowCount() > 0, "the tree shows what it holds");
return 0;
}
