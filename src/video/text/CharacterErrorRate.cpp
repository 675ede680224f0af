#include "video/text/CharacterErrorRate.h"

#include <algorithm>
#include <vector>

namespace kelvo::video::text {

QString normalisedForComparison(const QString &text)
{
    return text.simplified();
}

int editDistance(const QString &a, const QString &b)
{
    std::vector<int> previous(static_cast<size_t>(b.size()) + 1);
    std::vector<int> current(previous.size());
    for (size_t j = 0; j < previous.size(); ++j)
        previous[j] = static_cast<int>(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        current[0] = static_cast<int>(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int substitution = previous[size_t(j - 1)] + (a[i - 1] == b[j - 1] ? 0 : 1);
            current[size_t(j)] = std::min({previous[size_t(j)] + 1, current[size_t(j - 1)] + 1, substitution});
        }
        std::swap(previous, current);
    }
    return previous.back();
}

double passageErrorRate(const QString &expectedText, const QString &recognisedText)
{
    const QString expected = normalisedForComparison(expectedText);
    const QString recognised = normalisedForComparison(recognisedText);
    if (expected.isEmpty())
        return 0;
    // Rows walk the expected passage, columns the recognised text; the
    // passage may start anywhere in the text (row 0 is all zeros) and end
    // anywhere (the minimum of the last row).
    std::vector<int> previous(static_cast<size_t>(recognised.size()) + 1, 0);
    std::vector<int> current(previous.size());
    for (qsizetype i = 1; i <= expected.size(); ++i) {
        current[0] = static_cast<int>(i);
        for (qsizetype j = 1; j <= recognised.size(); ++j) {
            const int substitution = previous[size_t(j - 1)] + (expected[i - 1] == recognised[j - 1] ? 0 : 1);
            current[size_t(j)] = std::min({previous[size_t(j)] + 1, current[size_t(j - 1)] + 1, substitution});
        }
        std::swap(previous, current);
    }
    const int best = *std::min_element(previous.begin(), previous.end());
    return double(best) / double(expected.size());
}

} // namespace kelvo::video::text
