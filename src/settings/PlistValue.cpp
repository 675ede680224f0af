#include "settings/PlistValue.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kelvo::settings {
namespace {

// Truncates toward zero and saturates, so that a hand-edited 1e300 or NaN in
// the file cannot make the conversion undefined.
template <typename Int> Int saturatingTruncate(double value)
{
    if (std::isnan(value))
        return 0;
    if (value <= static_cast<double>(std::numeric_limits<Int>::min()))
        return std::numeric_limits<Int>::min();
    // The maximum of a 64-bit integer is not representable as a double; the
    // comparison with max + 1 (a power of two) stays exact.
    if (value >= static_cast<double>(std::numeric_limits<Int>::max()) + 1.0)
        return std::numeric_limits<Int>::max();
    return static_cast<Int>(value);
}

} // namespace

// ---- PlistDictionary ----

PlistDictionary::PlistDictionary() = default;
PlistDictionary::PlistDictionary(const PlistDictionary &) = default;
PlistDictionary::PlistDictionary(PlistDictionary &&) noexcept = default;
PlistDictionary &PlistDictionary::operator=(const PlistDictionary &) = default;
PlistDictionary &PlistDictionary::operator=(PlistDictionary &&) noexcept = default;
PlistDictionary::~PlistDictionary() = default;

const PlistValue *PlistDictionary::objectForKey(const QString &key) const
{
    const auto it = m_index.constFind(key);
    return it == m_index.constEnd() ? nullptr : &m_entries[*it].second;
}

void PlistDictionary::setValue(const QString &key, PlistValue value)
{
    const auto it = m_index.constFind(key);
    if (it != m_index.constEnd()) {
        m_entries[*it].second = std::move(value);
        return;
    }
    m_index.insert(key, m_entries.size());
    m_entries.emplace_back(key, std::move(value));
}

bool PlistDictionary::removeObjectForKey(const QString &key)
{
    const auto it = m_index.constFind(key);
    if (it == m_index.constEnd())
        return false;
    const std::size_t position = *it;
    m_index.erase(it);
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(position));
    for (std::size_t i = position; i < m_entries.size(); ++i)
        m_index[m_entries[i].first] = i;
    return true;
}

void PlistDictionary::clear()
{
    m_entries.clear();
    m_index.clear();
}

bool PlistDictionary::isEmpty() const
{
    return m_entries.empty();
}

std::size_t PlistDictionary::size() const
{
    return m_entries.size();
}

const std::vector<PlistDictionary::Entry> &PlistDictionary::entries() const
{
    return m_entries;
}

std::int32_t PlistDictionary::intValueForKey(const QString &key, std::int32_t defaultValue) const
{
    const PlistValue *value = objectForKey(key);
    return value && value->isNumber() ? value->intValue() : defaultValue;
}

std::int64_t PlistDictionary::integerValueForKey(const QString &key, std::int64_t defaultValue) const
{
    const PlistValue *value = objectForKey(key);
    return value && value->isNumber() ? value->integerValue() : defaultValue;
}

bool PlistDictionary::boolValueForKey(const QString &key, bool defaultValue) const
{
    const PlistValue *value = objectForKey(key);
    if (!value)
        return defaultValue;
    if (value->isNumber())
        return value->isBooleanTrue();
    if (const QString *text = value->asString())
        return stringBoolValue(*text);
    return defaultValue;
}

std::optional<PlistValue> PlistDictionary::valueForKey(const QString &key, PlistClass valueClass,
                                                       const std::optional<PlistValue> &defaultValue) const
{
    const PlistValue *value = objectForKey(key);
    if (value && value->belongsTo(valueClass))
        return *value;
    return defaultValue;
}

std::optional<PlistValue> PlistDictionary::valueForKey(const QString &key, PlistClass valueClass) const
{
    return valueForKey(key, valueClass, std::nullopt);
}

bool PlistDictionary::operator==(const PlistDictionary &other) const
{
    if (m_entries.size() != other.m_entries.size())
        return false;
    for (const auto &entry : m_entries) {
        const PlistValue *theirs = other.objectForKey(entry.first);
        if (!theirs || !(*theirs == entry.second))
            return false;
    }
    return true;
}

// ---- PlistValue ----

PlistValue::PlistValue(Storage storage) : m_storage(std::move(storage)) {}

PlistValue PlistValue::boolean(bool value)
{
    return PlistValue(Storage(std::in_place_type<bool>, value));
}

PlistValue PlistValue::integer(std::int64_t value)
{
    return PlistValue(Storage(std::in_place_type<std::int64_t>, value));
}

PlistValue PlistValue::real(double value)
{
    return PlistValue(Storage(std::in_place_type<double>, value));
}

PlistValue PlistValue::string(QString value)
{
    return PlistValue(Storage(std::in_place_type<QString>, std::move(value)));
}

PlistValue PlistValue::date(QDateTime value)
{
    // Hold exactly what the file can: whole seconds in UTC within the 32-bit
    // range of seconds from 2001-01-01, so a value reads back equal to itself.
    constexpr qint64 kPlistEpoch = 978307200;
    qint64 seconds = value.isValid() ? value.toSecsSinceEpoch() : kPlistEpoch;
    seconds = std::clamp<qint64>(seconds, kPlistEpoch + std::numeric_limits<std::int32_t>::min(),
                                 kPlistEpoch + std::numeric_limits<std::int32_t>::max());
    return PlistValue(Storage(std::in_place_type<QDateTime>, QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC)));
}

PlistValue PlistValue::data(QByteArray value)
{
    return PlistValue(Storage(std::in_place_type<QByteArray>, std::move(value)));
}

PlistValue PlistValue::array(PlistArray value)
{
    return PlistValue(Storage(std::in_place_type<PlistArray>, std::move(value)));
}

PlistValue PlistValue::dictionary(PlistDictionary value)
{
    return PlistValue(Storage(std::in_place_type<PlistDictionary>, std::move(value)));
}

PlistKind PlistValue::kind() const
{
    return static_cast<PlistKind>(m_storage.index());
}

bool PlistValue::isNumber() const
{
    const PlistKind k = kind();
    return k == PlistKind::Boolean || k == PlistKind::Integer || k == PlistKind::Real;
}

bool PlistValue::belongsTo(PlistClass valueClass) const
{
    switch (valueClass) {
    case PlistClass::Number:
        return isNumber();
    case PlistClass::String:
        return kind() == PlistKind::String;
    case PlistClass::Date:
        return kind() == PlistKind::Date;
    case PlistClass::Data:
        return kind() == PlistKind::Data;
    case PlistClass::Array:
        return kind() == PlistKind::Array;
    case PlistClass::Dictionary:
        return kind() == PlistKind::Dictionary;
    }
    return false;
}

bool PlistValue::boolValue() const
{
    if (const bool *b = std::get_if<bool>(&m_storage))
        return *b;
    if (const std::int64_t *i = std::get_if<std::int64_t>(&m_storage))
        return *i != 0;
    if (const double *d = std::get_if<double>(&m_storage))
        return *d != 0.0;
    return false;
}

std::int32_t PlistValue::intValue() const
{
    if (const double *d = std::get_if<double>(&m_storage))
        return saturatingTruncate<std::int32_t>(*d);
    // Like a C conversion of the stored 64-bit value: the low 32 bits.
    return static_cast<std::int32_t>(integerValue());
}

std::int64_t PlistValue::integerValue() const
{
    if (const bool *b = std::get_if<bool>(&m_storage))
        return *b ? 1 : 0;
    if (const std::int64_t *i = std::get_if<std::int64_t>(&m_storage))
        return *i;
    if (const double *d = std::get_if<double>(&m_storage))
        return saturatingTruncate<std::int64_t>(*d);
    return 0;
}

double PlistValue::doubleValue() const
{
    if (const double *d = std::get_if<double>(&m_storage))
        return *d;
    return static_cast<double>(integerValue());
}

bool PlistValue::isBooleanTrue() const
{
    const bool *b = std::get_if<bool>(&m_storage);
    return b && *b;
}

const QString *PlistValue::asString() const
{
    return std::get_if<QString>(&m_storage);
}

const QDateTime *PlistValue::asDate() const
{
    return std::get_if<QDateTime>(&m_storage);
}

const QByteArray *PlistValue::asData() const
{
    return std::get_if<QByteArray>(&m_storage);
}

const PlistArray *PlistValue::asArray() const
{
    return std::get_if<PlistArray>(&m_storage);
}

const PlistDictionary *PlistValue::asDictionary() const
{
    return std::get_if<PlistDictionary>(&m_storage);
}

bool PlistValue::operator==(const PlistValue &other) const
{
    return m_storage == other.m_storage;
}

bool stringBoolValue(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i).isSpace())
        ++i;
    if (i == n)
        return false;
    const QChar first = text.at(i);
    if (first == u'Y' || first == u'y' || first == u'T' || first == u't')
        return true;
    if (first == u'+' || first == u'-')
        ++i;
    while (i < n && text.at(i) == u'0')
        ++i;
    return i < n && text.at(i) >= u'1' && text.at(i) <= u'9';
}

} // namespace kelvo::settings
