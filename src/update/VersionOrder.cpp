#include "update/VersionOrder.h"

namespace kelvo::update {

namespace {

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

int compareVersions(const QString &a, const QString &b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // Leading zeros carry no value; after them the longer run is the
            // larger number, and runs of equal length order like text. This
            // never overflows, whatever the length of the run.
            while (i < a.size() && a[i] == u'0')
                ++i;
            while (j < b.size() && b[j] == u'0')
                ++j;
            qsizetype endA = i;
            qsizetype endB = j;
            while (endA < a.size() && isDigit(a[endA]))
                ++endA;
            while (endB < b.size() && isDigit(b[endB]))
                ++endB;
            if (endA - i != endB - j)
                return endA - i < endB - j ? -1 : 1;
            for (; i < endA; ++i, ++j) {
                if (a[i] != b[j])
                    return a[i] < b[j] ? -1 : 1;
            }
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j] ? -1 : 1;
        ++i;
        ++j;
    }
    const bool aLeft = i < a.size();
    const bool bLeft = j < b.size();
    if (aLeft == bLeft)
        return 0;
    return aLeft ? 1 : -1;
}

bool versionOrdersBefore(const std::optional<QString> &current, const std::optional<QString> &latest)
{
    if (!current || !latest)
        return false;
    return compareVersions(*current, *latest) < 0;
}

bool versionsEqual(const std::optional<QString> &a, const std::optional<QString> &b)
{
    return a && b && compareVersions(*a, *b) == 0;
}

} // namespace kelvo::update
