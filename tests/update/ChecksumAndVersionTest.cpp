#include "common/SystemLog.h"
#include "update/Sha512Checksum.h"
#include "update/VersionOrder.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kelvo::update {
namespace {

constexpr char kAbcSha512[] = "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
                              "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f";

TEST(Sha512ChecksumTest, MatchesThePublishedVectorInLowerCaseOnly)
{
    const QString expected = QString::fromLatin1(kAbcSha512);
    EXPECT_EQ(sha512ChecksumText("abc"), expected);
    EXPECT_TRUE(verifySHA512ChecksumForData(expected, "abc"));
    EXPECT_FALSE(verifySHA512ChecksumForData(expected.toUpper(), "abc"));
    EXPECT_FALSE(verifySHA512ChecksumForData(std::nullopt, "abc"));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("abc.bin"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("abc");
    file.close();
    EXPECT_TRUE(verifySHA512ChecksumForFile(expected, path));
    EXPECT_FALSE(verifySHA512ChecksumForFile(QString::fromLatin1(kAbcSha512).replace(0, 1, u'e'), path));
}

TEST(Sha512ChecksumTest, RefusesMissingFilesAndFilesOfTwoGibibytes)
{
    QTemporaryDir dir;
    ScopedLogCapture log;
    const QString missing = dir.filePath(QStringLiteral("missing.zip"));
    EXPECT_FALSE(verifySHA512ChecksumForFile(QString::fromLatin1(kAbcSha512), missing));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].rfind(
                  "Could not open file file://" + missing.toStdString() + " to verify SHA-512 checksum: ", 0),
              0u);

    // Sparse: the limit is decided by the length, no byte is read.
    const QString large = dir.filePath(QStringLiteral("large.zip"));
    QFile file(large);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(kChecksumSizeLimit));
    file.close();
    log.clear();
    EXPECT_FALSE(verifySHA512ChecksumForFile(sha512ChecksumText(QByteArray()), large));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Checksum failed: File too large.\n"});
}

TEST(VersionOrderTest, DigitRunsCompareByValue)
{
    struct Case {
        const char *a;
        const char *b;
        int order;
    };
    const Case cases[] = {
        {"1.9", "1.10", -1},  {"2.0", "2.0", 0},
        {"1.10", "1.9", 1},   {"1.2.3", "1.2.10", -1},
        {"1.0", "1.00", 0},   {"1.10", "1.10a", -1},
        {"1.9b", "1.9a", 1},  {"10", "9", 1},
        {"2.1.7", "2.2", -1}, {"99999999999999999999.1", "99999999999999999999.2", -1},
    };
    for (const Case &c : cases) {
        const int order = compareVersions(QString::fromLatin1(c.a), QString::fromLatin1(c.b));
        EXPECT_EQ((order > 0) - (order < 0), c.order) << c.a << " vs " << c.b;
    }
    // A version the camera has not reported needs no update, whatever is offered.
    EXPECT_FALSE(versionOrdersBefore(std::nullopt, QStringLiteral("9.9")));
    EXPECT_TRUE(versionOrdersBefore(QStringLiteral("1.9"), QStringLiteral("1.10")));
    EXPECT_FALSE(versionsEqual(std::nullopt, std::nullopt));
}

} // namespace
} // namespace kelvo::update
