#include "download/TNetrc.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Splits the file into its words; a word in double quotes may hold blanks and backslash escapes.
class TTokens
{
public:
    explicit TTokens(const QByteArray &text) : FText(text) {}

    std::optional<QByteArray> Next()
    {
        while (FAt < FText.size() && IsBlank(FText[FAt]))
            ++FAt;
        if (FAt >= FText.size())
            return std::nullopt;
        QByteArray word;
        if (FText[FAt] == '"') {
            for (++FAt; FAt < FText.size() && FText[FAt] != '"'; ++FAt) {
                if (FText[FAt] == '\\' && FAt + 1 < FText.size())
                    ++FAt;
                word += FText[FAt];
            }
            ++FAt;
            return word;
        }
        while (FAt < FText.size() && !IsBlank(FText[FAt]))
            word += FText[FAt++];
        return word;
    }

    // A macro's body runs to the first empty line.
    void SkipMacro()
    {
        const qsizetype lineEnd = FText.indexOf('\n', FAt);
        if (lineEnd < 0) {
            FAt = FText.size();
            return;
        }
        for (FAt = lineEnd + 1; FAt < FText.size();) {
            qsizetype end = FText.indexOf('\n', FAt);
            if (end < 0)
                end = FText.size();
            const bool empty = FText.mid(FAt, end - FAt).trimmed().isEmpty();
            FAt = end + 1;
            if (empty)
                return;
        }
    }

private:
    const QByteArray &FText;
    qsizetype FAt = 0;
};

QString ModeText(mode_t mode)
{
    return QStringLiteral("0%1").arg(mode & 0777, 3, 8, QLatin1Char('0'));
}
} // namespace

QString TNetrc::DefaultFileName()
{
    const QString named = qEnvironmentVariable("NETRC");
    return named.isEmpty() ? QDir::homePath() + QStringLiteral("/.netrc") : named;
}

TNetrc TNetrc::Parse(const QByteArray &text)
{
    TNetrc netrc;
    TTokens tokens(text);
    TEntry *entry = nullptr;
    while (const std::optional<QByteArray> word = tokens.Next()) {
        if (*word == "machine" || *word == "default") {
            const std::optional<QByteArray> name = *word == "machine" ? tokens.Next() : QByteArray();
            // "machine" with nothing after it, or an empty name, would stand for the default entry.
            entry = name && (*word == "default" || !name->isEmpty()) ? &netrc.FEntries.emplace_back() : nullptr;
            if (entry)
                entry->machine = QString::fromUtf8(*name).toLower();
        } else if (*word == "login" || *word == "password") {
            const std::optional<QByteArray> value = tokens.Next();
            if (entry && value)
                (*word == "login" ? entry->login.login : entry->login.password) = QString::fromUtf8(*value);
        } else if (*word == "account" || *word == "port") {
            tokens.Next();
        } else if (*word == "macdef") {
            tokens.SkipMacro();
        }
    }
    return netrc;
}

std::optional<TNetrc::TLogin> TNetrc::For(const QString &host) const
{
    const QString name = host.toLower();
    const TEntry *fallback = nullptr;
    for (const TEntry &entry : FEntries) {
        if (!entry.machine.isEmpty() && entry.machine == name)
            return entry.login;
        if (entry.machine.isEmpty() && !fallback)
            fallback = &entry;
    }
    return fallback ? std::optional(fallback->login) : std::nullopt;
}

TNetrc::TLoad TNetrc::Load(const QString &fileName)
{
    TLoad load;
    const auto ignored = [&](const QString &why) {
        load.warning = QStringLiteral("%1: not used: %2").arg(fileName, why);
        return load;
    };
    // Not blocking: a fifo at the name must not hold the run up.
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return ignored(QString::fromLocal8Bit(std::strerror(errno)));
    QFile file;
    file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return ignored(QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISREG(info.st_mode))
        return ignored(QStringLiteral("not a regular file"));
    // Passwords in a file others can read are no longer secret, and one others can write may send ours anywhere.
    if (info.st_uid != ::geteuid())
        return ignored(QStringLiteral("owned by another user"));
    if ((info.st_mode & 077) != 0)
        return ignored(QStringLiteral("others than its owner may read or write it (mode %1; chmod 600 it)")
                           .arg(ModeText(info.st_mode)));
    if (info.st_size > MaxFileBytes)
        return ignored(QStringLiteral("larger than %1 MiB").arg(MaxFileBytes >> 20));
    const QByteArray text = file.read(MaxFileBytes);
    if (file.error() != QFileDevice::NoError)
        return ignored(file.errorString());
    load.netrc = std::make_shared<const TNetrc>(Parse(text));
    return load;
}
