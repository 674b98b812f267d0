#include "download/TRunOutcome.h"

#include "download/RowTexts.h"

QString TRunOutcome::Text() const
{
    switch (Kind) {
    case TKind::Completed:
        return RowText::Completed;
    case TKind::FileEnd:
        return RowText::FileEnd;
    case TKind::FileExists:
        return RowText::FileExists.toString();
    case TKind::Retry:
        return RowText::Retry;
    case TKind::Aborted:
        return RowText::AbortPrefix + Reason;
    case TKind::HeadEnded:
        return RowText::EndPrefix + Reason;
    case TKind::Duplicate:
    case TKind::DuplicateRemoved:
        return RowText::Duplicate(Reason, Kind == TKind::DuplicateRemoved);
    case TKind::Progress:
    case TKind::Stopped:
        break;
    }
    return Reason;
}
