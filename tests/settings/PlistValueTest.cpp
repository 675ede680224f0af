#include "settings/PlistValue.h"
#include "SettingsTestSupport.h"
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace kelvo::settings;

namespace {

PlistDictionary dictionaryWith(const PlistValue &value)
{
    PlistDictionary d;
    d.setValue(QStringLiteral("k"), value);
    return d;
}

// Runs check on a dictionary and on a store holding the same single value,
// because the readers must behave alike on both.
template <typename Check> void onDictionaryAndStore(const PlistValue &value, Check check)
{
    const PlistDictionary dict = dictionaryWith(value);
    check(dict);
    test::SettingsFolder folder;
    SettingsStore store(folder.settingsFile());
    store.setValue(QStringLiteral("k"), value);
    check(store);
}

} // namespace

TEST(SettingsTypedReaders, BoolValueAcceptsOnlyTheBooleanTrueAmongNumbers)
{
    struct Case {
        PlistValue value;
        bool defaultValue;
        bool expected;
    };
    const Case cases[] = {
        {PlistValue::boolean(true), false, true}, {PlistValue::boolean(false), true, false},
        {PlistValue::integer(1), true, false},    {PlistValue::integer(7), true, false},
        {PlistValue::real(1.0), true, false},     {PlistValue::date(QDateTime::currentDateTimeUtc()), true, true},
        {PlistValue::data("1"), false, false},    {PlistValue::array({PlistValue::boolean(true)}), false, false},
        {PlistValue::dictionary({}), true, true},
    };
    for (const Case &c : cases) {
        onDictionaryAndStore(c.value, [&](const auto &reader) {
            EXPECT_EQ(reader.boolValueForKey(QStringLiteral("k"), c.defaultValue), c.expected)
                << "kind " << static_cast<int>(c.value.kind());
        });
    }
}

TEST(SettingsTypedReaders, BoolValueReadsStringsByTheirLeadingCharacter)
{
    struct Case {
        const char *text;
        bool expected;
    };
    const Case cases[] = {
        {"YES", true}, {"yes", true},  {"true", true},  {"T", true},     {"1", true},   {"9x", true},
        {"  y", true}, {"-5", true},   {"+0003", true}, {"\t007", true}, {"NO", false}, {"false", false},
        {"0", false},  {"000", false}, {"", false},     {"   ", false},  {"x", false},  {"-", false},
        {"+0", false}, {"- 1", false}, {"0.5", false},  {"ok", false},
    };
    for (const Case &c : cases) {
        onDictionaryAndStore(PlistValue::string(QString::fromUtf8(c.text)), [&](const auto &reader) {
            EXPECT_EQ(reader.boolValueForKey(QStringLiteral("k"), !c.expected), c.expected) << '"' << c.text << '"';
        });
    }
}

TEST(SettingsTypedReaders, IntegerReadersConvertNumbersAndDefaultEverythingElse)
{
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        PlistValue value;
        std::int32_t int32;
        std::int64_t int64;
    };
    const Case cases[] = {
        {PlistValue::integer(5), 5, 5},
        {PlistValue::integer(-1), -1, -1},
        {PlistValue::integer((std::int64_t(1) << 32) + 7), 7, (std::int64_t(1) << 32) + 7},
        {PlistValue::real(3.9), 3, 3},
        {PlistValue::real(-3.9), -3, -3},
        {PlistValue::real(1e300), std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int64_t>::max()},
        {PlistValue::real(-1e300), std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int64_t>::min()},
        {PlistValue::real(kNaN), 0, 0},
        {PlistValue::boolean(true), 1, 1},
        {PlistValue::string(QStringLiteral("5")), 42, 42},
        {PlistValue::data("5"), 42, 42},
    };
    for (const Case &c : cases) {
        onDictionaryAndStore(c.value, [&](const auto &reader) {
            EXPECT_EQ(reader.intValueForKey(QStringLiteral("k"), 42), c.int32);
            EXPECT_EQ(reader.integerValueForKey(QStringLiteral("k"), 42), c.int64);
        });
    }
    const PlistDictionary empty;
    EXPECT_EQ(empty.intValueForKey(QStringLiteral("missing"), -9), -9);
    EXPECT_EQ(empty.integerValueForKey(QStringLiteral("missing"), -9), -9);
}

TEST(SettingsTypedReaders, ValueForKeyOfClassTreatsEveryNumberKindAsANumber)
{
    const PlistValue fallback = PlistValue::string(QStringLiteral("fallback"));
    const PlistValue values[] = {PlistValue::boolean(false), PlistValue::integer(3), PlistValue::real(0.5),
                                 PlistValue::string(QStringLiteral("s")), PlistValue::data("d")};
    for (const PlistValue &value : values) {
        onDictionaryAndStore(value, [&](const auto &reader) {
            const auto asNumber = reader.valueForKey(QStringLiteral("k"), PlistClass::Number, fallback);
            EXPECT_EQ(*asNumber, value.isNumber() ? value : fallback);
            const auto asString = reader.valueForKey(QStringLiteral("k"), PlistClass::String);
            EXPECT_EQ(asString.has_value(), value.kind() == PlistKind::String);
            EXPECT_FALSE(reader.valueForKey(QStringLiteral("absent"), PlistClass::Number).has_value());
        });
    }
}

TEST(SettingsPlistDictionary, EqualityIgnoresOrderButNotKindsOrValues)
{
    PlistDictionary a;
    a.setValue(QStringLiteral("x"), PlistValue::integer(1));
    a.setValue(QStringLiteral("y"), PlistValue::boolean(true));
    PlistDictionary b;
    b.setValue(QStringLiteral("y"), PlistValue::boolean(true));
    b.setValue(QStringLiteral("x"), PlistValue::integer(1));
    EXPECT_EQ(a, b);
    b.setValue(QStringLiteral("y"), PlistValue::integer(1)); // same number, other kind
    EXPECT_FALSE(a == b);
    EXPECT_EQ(b.size(), 2u); // replaced in place, not added
    EXPECT_TRUE(b.removeObjectForKey(QStringLiteral("y")));
    EXPECT_FALSE(b.removeObjectForKey(QStringLiteral("y")));
}

// Removing from the middle must leave every later key findable and the file
// order intact; copies keep working on their own entries.
TEST(SettingsPlistDictionary, KeysStayFindableInOrderAcrossRemovalsAndCopies)
{
    PlistDictionary d;
    for (int i = 0; i < 50; ++i)
        d.setValue(QString::number(i), PlistValue::integer(i));
    for (int i = 0; i < 50; i += 3)
        ASSERT_TRUE(d.removeObjectForKey(QString::number(i)));
    d.setValue(QStringLiteral("0"), PlistValue::integer(100));
    PlistDictionary copy = d;
    d.clear();
    EXPECT_EQ(d.objectForKey(QStringLiteral("1")), nullptr);

    std::vector<int> order;
    for (const auto &[key, value] : copy.entries()) {
        order.push_back(key.toInt());
        EXPECT_EQ(copy.intValueForKey(key, -1), key == QStringLiteral("0") ? 100 : key.toInt());
    }
    std::vector<int> expected;
    for (int i = 0; i < 50; ++i)
        if (i % 3 != 0)
            expected.push_back(i);
    expected.push_back(0);
    EXPECT_EQ(order, expected);
    EXPECT_EQ(copy.objectForKey(QStringLiteral("3")), nullptr);
}
