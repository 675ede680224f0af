#pragma once

#include <QString>

namespace kelvo::video::text {

// Runs of white space become one space and the ends are trimmed, so that
// line breaks chosen by a recogniser do not count as errors.
QString normalisedForComparison(const QString &text);

// Levenshtein distance in characters (UTF-16 code units).
int editDistance(const QString &a, const QString &b);

// The fewest edits that turn `expected` into some stretch of `recognised`
// (the rest of `recognised` is free), divided by the length of `expected`:
// the error rate of one known passage found within the text of a whole
// picture. Both are normalised first. 0 for an empty expectation.
double passageErrorRate(const QString &expected, const QString &recognised);

} // namespace kelvo::video::text
