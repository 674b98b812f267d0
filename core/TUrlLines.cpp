#include "core/TUrlLines.h"

#include "core/TUrlEntry.h"
#include "download/UrlUtil.h"

namespace {

// Bytes of one line kept at most: the longest URL and room for blanks around it.
constexpr qint64 LineLimit = UrlUtil::MaxUrlBytes + 1024;
// Bytes of an over-long line decoded to show where it starts.
constexpr qint64 ShownHead = 256;
// An over-long line's rest is passed over in pieces of this size.
constexpr qint64 SkipPiece = 64 * 1024;

// The end of the line was read: its "\n" or the end of the file.
bool Ended(const QByteArray &piece, const QIODevice &file)
{
    return piece.endsWith('\n') || file.atEnd();
}

} // namespace

void TUrlLines::Read(QIODevice &file, const std::function<void(int, const QString &, const QString &)> &take)
{
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        // One byte past the limit, and the line's end if it has one, tell an over-long line apart.
        QByteArray line = file.readLine(LineLimit + 2);
        if (line.isEmpty())
            return; // a read error: nothing more comes
        bool ended = Ended(line, file);
        if (line.endsWith('\n'))
            line.chop(1);
        if (!ended || line.size() > LineLimit) {
            const QString head = QString::fromUtf8(line.left(ShownHead)).trimmed();
            for (QByteArray rest; !ended; ended = rest.isEmpty() || Ended(rest, file))
                rest = file.readLine(SkipPiece);
            take(number, head, TUrlEntry::Quoted(head, UrlUtil::TooLongProblem()));
            continue;
        }
        const QString url = QString::fromUtf8(line).trimmed();
        if (!url.isEmpty())
            take(number, url, TUrlEntry::Refusal(url));
    }
}
