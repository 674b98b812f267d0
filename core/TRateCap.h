#pragma once

#include <QString>

#include <optional>

// A cap on the program's download rate in bytes per second, written with an optional K or M
// suffix: "500K" is 500 KiB/s, "2M" 2 MiB/s. 0 (or an empty text): no cap.
struct TRateCap {
    qint64 BytesPerSecond = 0;

    static constexpr qint64 Max = qint64(1) << 40;

    // Empty when text is no rate or above Max.
    static std::optional<TRateCap> Parse(const QString &text);
    // As the settings file, the options dialog and the batch option write it: "500K", "2M", "1000".
    QString Text() const;

    bool operator==(const TRateCap &) const = default;
};
