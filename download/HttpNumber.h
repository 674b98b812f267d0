#pragma once

#include <QStringView>

#include <optional>

// A byte count or offset as a server sends it: decimal digits only, no sign, no blanks, and
// within 64 bits. Anything else is no number at all rather than a wrapped or partial one.
std::optional<qint64> ParseHttpNumber(QStringView text);
