#pragma once

#include <QString>

#include <optional>

// The least time between two starts to one host, with an optional random spread around it, written
// "500" or "500±50%" ("500+-50%" is read as well, for keyboards without ±).
struct THostGap {
    int Ms = 0;            // 0: none
    int SpreadPercent = 0; // each gap is drawn evenly from Ms less to Ms more this share

    static constexpr int MaxMs = 600000;
    static constexpr int MaxSpreadPercent = 100;

    // Empty when text is no gap or out of range; an empty text is no gap at all (0).
    static std::optional<THostGap> Parse(const QString &text);
    // As the settings file and the options dialog write it: "500", or "500±50%" with a spread.
    QString Text() const;
    // The gap for one start, unit a random number in [0, 1).
    qint64 Draw(double unit) const;

    bool operator==(const THostGap &) const = default;
};
