#include "download/RowTexts.h"

#include "download/HttpFileVersion.h"

bool RowText::IsPending(QStringView message)
{
    return message == Ready || message == Retry;
}

namespace {
constexpr QStringView DuplicateBegin{u"End>「"};
constexpr QStringView DuplicateKeptEnd{u"」と同じ内容です。"};
constexpr QStringView DuplicateRemovedEnd{u"」と同じ内容のため削除しました。"};
} // namespace

QString RowText::Duplicate(const QString &earlier, bool removed)
{
    return DuplicateBegin.toString() + earlier + (removed ? DuplicateRemovedEnd : DuplicateKeptEnd).toString();
}

bool RowText::IsDuplicate(QStringView message)
{
    return message.startsWith(DuplicateBegin)
           && (message.endsWith(DuplicateKeptEnd) || message.endsWith(DuplicateRemovedEnd));
}

bool RowText::IsComplete(QStringView message)
{
    return message == Completed || message == FileEnd || message == FileExists || message == AlreadyDone
           || IsDuplicate(message);
}

bool RowText::IsFileChanged(QStringView message)
{
    return message.startsWith(AbortPrefix)
           && message.mid(AbortPrefix.size()).startsWith(THttpFileVersion::ChangedPrefix);
}
