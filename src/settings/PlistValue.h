#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>

#include <cstdint>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

namespace kelvo::settings {

// The kinds of value a property list holds. A boolean is its own kind and is
// never confused with the integers 0 and 1.
enum class PlistKind { Boolean, Integer, Real, String, Date, Data, Array, Dictionary };

// What `valueForKey(key, class, default)` asks for. Number accepts booleans,
// integers and reals alike, the way every number object answers to the number
// class; the others accept exactly their kind.
enum class PlistClass { Number, String, Date, Data, Array, Dictionary };

class PlistValue;
using PlistArray = std::vector<PlistValue>;

// A dictionary of property-list values keyed by text, in insertion order (the
// order in which the file lists them). Keys are unique: setting an existing
// key replaces its value in place. Finding, setting and replacing a key take
// constant time, so a file of hundreds of thousands of keys loads in linear
// time; removal is linear. Plain value type; not thread-safe.
class PlistDictionary {
public:
    using Entry = std::pair<QString, PlistValue>;

    PlistDictionary();
    PlistDictionary(const PlistDictionary &);
    PlistDictionary(PlistDictionary &&) noexcept;
    PlistDictionary &operator=(const PlistDictionary &);
    PlistDictionary &operator=(PlistDictionary &&) noexcept;
    ~PlistDictionary();

    // The value stored under key, or nullptr when there is none.
    const PlistValue *objectForKey(const QString &key) const;
    void setValue(const QString &key, PlistValue value);
    // Returns false when there was nothing to remove.
    bool removeObjectForKey(const QString &key);
    void clear();

    bool isEmpty() const;
    std::size_t size() const;
    const std::vector<Entry> &entries() const;

    // The typed readers. A key that is missing, or holds a value these rules
    // do not accept, yields the default.
    //
    // The value's 32-bit integer value when it is a number (see
    // PlistValue::intValue); otherwise defaultValue.
    std::int32_t intValueForKey(const QString &key, std::int32_t defaultValue) const;
    // The same with a 64-bit integer (see PlistValue::integerValue).
    std::int64_t integerValueForKey(const QString &key, std::int64_t defaultValue) const;
    // A number reads YES only when it is the boolean true itself: an integer 1
    // that was not stored as a boolean reads NO. A string reads YES when,
    // after leading white space, it starts with Y, y, T or t, or with an
    // optional sign and zeros followed by a digit 1 to 9. Anything else
    // yields defaultValue.
    bool boolValueForKey(const QString &key, bool defaultValue) const;
    // The value when it belongs to the class; otherwise defaultValue (which
    // may be none).
    std::optional<PlistValue> valueForKey(const QString &key, PlistClass valueClass,
                                          const std::optional<PlistValue> &defaultValue) const;
    // The same with none as the default.
    std::optional<PlistValue> valueForKey(const QString &key, PlistClass valueClass) const;

    // Equal when both hold the same keys with equal values, in any order.
    bool operator==(const PlistDictionary &other) const;

private:
    std::vector<Entry> m_entries;
    QHash<QString, std::size_t> m_index; // key -> position in m_entries
};

// One property-list value: boolean, integer (64-bit), real, string, date,
// data, array or dictionary. Plain value type; not thread-safe.
class PlistValue {
public:
    static PlistValue boolean(bool value);
    static PlistValue integer(std::int64_t value);
    static PlistValue real(double value);
    static PlistValue string(QString value);
    // Property lists keep dates to the second, in UTC.
    static PlistValue date(QDateTime value);
    static PlistValue data(QByteArray value);
    static PlistValue array(PlistArray value);
    static PlistValue dictionary(PlistDictionary value);

    PlistKind kind() const;
    bool isNumber() const;
    bool belongsTo(PlistClass valueClass) const;

    // The number readings of a number object; 0 (NO) for any other kind.
    // boolValue is YES for any non-zero number. intValue keeps the low 32 bits
    // of an integer; reals are truncated toward zero and saturate at the
    // limits of the result type (NaN reads 0).
    bool boolValue() const;
    std::int32_t intValue() const;
    std::int64_t integerValue() const;
    double doubleValue() const;
    // YES only for the boolean true.
    bool isBooleanTrue() const;

    // The stored value when the kind matches, otherwise nullptr.
    const QString *asString() const;
    const QDateTime *asDate() const;
    const QByteArray *asData() const;
    const PlistArray *asArray() const;
    const PlistDictionary *asDictionary() const;

    bool operator==(const PlistValue &other) const;

private:
    using Storage =
        std::variant<bool, std::int64_t, double, QString, QDateTime, QByteArray, PlistArray, PlistDictionary>;
    explicit PlistValue(Storage storage);

    Storage m_storage;
};

// The reading of a text as a boolean that boolValueForKey applies to strings.
bool stringBoolValue(const QString &text);

} // namespace kelvo::settings
