// Converts a 2 MiB EUC-JP page (every level-1 kanji, kana and ASCII markup) to Shift_JIS, as the
// page import does with every fetched page, and prints the medians in MiB/s next to glibc's iconv;
// the two alternate round by round so that drift on the machine touches both alike.
#include "core/jconvert.h"
#include "tests/support/JapaneseText.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int Rounds = 15;
using TConvert = std::function<QByteArray(const QByteArray &)>;

struct TRun {
    TConvert convert;
    std::vector<double> rates;
    QByteArray output;
};

double Median(std::vector<double> rates)
{
    std::nth_element(rates.begin(), rates.begin() + rates.size() / 2, rates.end());
    return rates[rates.size() / 2];
}

void Alternate(const QByteArray &input, std::vector<TRun *> runs)
{
    for (int round = 0; round < Rounds; ++round) {
        for (TRun *run : runs) {
            QElapsedTimer timer;
            timer.start();
            run->output = run->convert(input);
            run->rates.push_back(input.size() / 1048576.0 / (timer.nsecsElapsed() / 1e9));
        }
    }
}

} // namespace

int main()
{
    const QByteArray unit = JapaneseText::EucPage();
    QByteArray euc;
    while (euc.size() < 2 * 1048576)
        euc += unit;
    TRun ours{[](const QByteArray &in) { return jconvert::ConvertCode(in, jconvert::jcSjis); }, {}, {}};
    TRun theirs{[](const QByteArray &in) { return JapaneseText::Iconv("EUC-JP", "SHIFT_JIS", in); }, {}, {}};
    Alternate(euc, {&ours, &theirs});
    TRun jis{[](const QByteArray &in) { return jconvert::ConvertCode(in, jconvert::jcJis); }, {}, {}};
    Alternate(ours.output, {&jis});
    std::printf("EUC-JP to Shift_JIS, %.1f MiB: ConvertCode %.0f MiB/s, iconv %.0f MiB/s (%.1fx)\n",
                euc.size() / 1048576.0, Median(ours.rates), Median(theirs.rates),
                Median(ours.rates) / Median(theirs.rates));
    std::printf("Shift_JIS to JIS: %.0f MiB/s\n", Median(jis.rates));
    return ours.output == theirs.output ? 0 : 1;
}
