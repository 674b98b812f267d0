#include "app/TBatchOptions.h"

#include "core/TSettings.h"
#include "maker/MakeSequence.h"

namespace {

bool ReadNumber(const QString &text, int low, int high, int *value)
{
    bool ok = false;
    const int n = text.toInt(&ok, 10);
    if (!ok || n < low || n > high)
        return false;
    *value = n;
    return true;
}

struct TTextOption {
    const char *name;
    QString TBatchOptions::*field;
};
const TTextOption TextOptions[] = {
    {"--ini", &TBatchOptions::iniFile},        {"--folder", &TBatchOptions::folder},
    {"--save", &TBatchOptions::saveFile},      {"--catalogue", &TBatchOptions::catalogueFile},
    {"--cookies", &TBatchOptions::cookieFile},
};

struct TNumberOption {
    const char *name;
    int low;
    int high;
    int TBatchOptions::*field;
    const char *rule;
};
const TNumberOption NumberOptions[] = {
    {"--threads", 1, TSettings::MaxThreads + 1, &TBatchOptions::threads, "takes a number from 1 to 9"},
    {"--interval", TSettings::MinInterval, TSettings::MaxInterval, &TBatchOptions::interval,
     "takes milliseconds from 10 to 60000"},
    {"--timeout", TSettings::MinTimeOutCTR, TSettings::MaxTimeOutCTR, &TBatchOptions::timeOut,
     "takes seconds from 1 to 1000000"},
    {"--max-tries", 1, 1000000, &TBatchOptions::maxTries, "takes a number, 1 or more"},
    {"--max-wait", 0, 1000000, &TBatchOptions::maxWait, "takes seconds from 0 to 1000000"},
    {"--starts-per-tick", 1, TSettings::MaxStartsPerTick, &TBatchOptions::startsPerTick, "takes a number from 1 to 9"},
    {"--host-limit", 0, TSettings::MaxHostLimit, &TBatchOptions::hostLimit, "takes a number from 0 (no limit) to 9"},
};

struct TSourceOption {
    const char *name;
    TBatchOptions::TSource::Kind kind;
};
const TSourceOption UrlOptions[] = {
    {"--add", TBatchOptions::TSource::Add},
    {"--urls", TBatchOptions::TSource::Urls},
    {"--split", TBatchOptions::TSource::Split},
    {"--import", TBatchOptions::TSource::Import},
};

template <typename Option, size_t N>
const Option *Find(const Option (&options)[N], const QString &arg)
{
    for (const Option &option : options)
        if (arg == QLatin1String(option.name))
            return &option;
    return nullptr;
}

} // namespace

TBatchOptions TBatchOptions::Parse(const QStringList &commandLine)
{
    TBatchOptions o;
    auto fail = [&o](const QString &reason) {
        o.error = reason;
        return o;
    };
    for (int i = 0; i < commandLine.size(); ++i) {
        const QString &arg = commandLine[i];
        // Values an option needs, taken from the following words.
        auto values = [&](int count, QStringList *out) {
            if (i + count >= commandLine.size())
                return false;
            *out = commandLine.mid(i + 1, count);
            i += count;
            return true;
        };
        QStringList v;
        if (arg == QStringLiteral("--batch")) {
            continue;
        } else if (arg == QStringLiteral("--location")) {
            o.location = true;
        } else if (arg == QStringLiteral("--netrc")) {
            o.netrc = true;
        } else if (arg == QStringLiteral("--lazy-images")) {
            o.lazyImages = true;
        } else if (arg == QStringLiteral("--skip-done")) {
            o.skipDone = true;
        } else if (arg == QStringLiteral("--duplicates")) {
            const QStringList choices{QStringLiteral("keep"), QStringLiteral("remove")};
            if (!values(1, &v) || (o.duplicates = int(choices.indexOf(v[0]))) < 0)
                return fail(QStringLiteral("--duplicates takes keep or remove"));
        } else if (arg == QStringLiteral("--quiet") || arg == QStringLiteral("-q")) {
            o.quiet = true;
        } else if (arg == QStringLiteral("--help") || arg == QStringLiteral("-h")) {
            o.help = true;
            return o;
        } else if (arg == QStringLiteral("--make")) {
            TSource source{TSource::Make, {}, {}};
            if (!values(4, &v))
                return fail(QStringLiteral("--make needs PATTERN START END LENGTH"));
            source.make.pattern = v[0];
            if (!ReadNumber(v[1], 0, MakeSequence::NumberMax, &source.make.start)
                || !ReadNumber(v[2], 0, MakeSequence::NumberMax, &source.make.end)
                || !ReadNumber(v[3], 0, MakeSequence::LengthMax, &source.make.length))
                return fail(QStringLiteral("--make: START and END must be 0..10000, LENGTH 0..5"));
            o.sources.append(source);
        } else if (const TSourceOption *url = Find(UrlOptions, arg)) {
            if (!values(1, &v))
                return fail(arg + QStringLiteral(" needs a value"));
            o.sources.append({url->kind, v[0], {}});
        } else if (const TTextOption *text = Find(TextOptions, arg)) {
            if (!values(1, &v))
                return fail(arg + QStringLiteral(" needs a value"));
            o.*(text->field) = v[0];
        } else if (const TNumberOption *number = Find(NumberOptions, arg)) {
            if (!values(1, &v) || !ReadNumber(v[0], number->low, number->high, &(o.*(number->field))))
                return fail(arg + QLatin1Char(' ') + QLatin1String(number->rule));
        } else if (arg == QStringLiteral("--host-gap")) {
            if (!values(1, &v) || !(o.hostGap = THostGap::Parse(v[0])))
                return fail(QStringLiteral("--host-gap takes milliseconds from 0 to 600000, with an optional "
                                           "spread of at most 100% such as 500±50% or 500+-50%"));
        } else if (arg == QStringLiteral("--limit-rate")) {
            if (!values(1, &v) || !(o.limitRate = TRateCap::Parse(v[0])))
                return fail(QStringLiteral("--limit-rate takes bytes per second with an optional K or M, such as "
                                           "500K or 2M (0: no cap)"));
        } else if (arg.startsWith(QStringLiteral("-"))) {
            return fail(QStringLiteral("unknown option ") + arg);
        } else {
            o.sources.append({TSource::List, arg, {}});
        }
    }
    if (o.sources.isEmpty())
        return fail(QStringLiteral("nothing to fetch: give a LIST, --urls, --make, --add, --split or --import"));
    return o;
}
