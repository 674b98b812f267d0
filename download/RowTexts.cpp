#include "download/RowTexts.h"

#include "download/HttpFileVersion.h"

bool RowText::IsPending(QStringView message)
{
    return message == Ready || message == Retry;
}

bool RowText::IsComplete(QStringView message)
{
    return message == Completed || message == FileEnd || message == FileExists;
}

bool RowText::IsFileChanged(QStringView message)
{
    return message.startsWith(AbortPrefix)
           && message.mid(AbortPrefix.size()).startsWith(THttpFileVersion::ChangedPrefix);
}
