#include "SettingsTestSupport.h"
#include "common/SystemLog.h"
#include "settings/PlistCodec.h"
#include "settings/SettingsStore.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

using namespace kelvo::settings;
using kelvo::ScopedLogCapture;
using kelvo::settings::test::SettingsFolder;

namespace {

QString k(const char *text)
{
    return QString::fromLatin1(text);
}

void appendBigEndian(QByteArray &out, std::uint64_t value, int width)
{
    for (int shift = (width - 1) * 8; shift >= 0; shift -= 8)
        out.append(static_cast<char>((value >> shift) & 0xFF));
}

// A binary property list of arrays, each holding the next one's reference:
// links[i] is the object array i refers to, or -1 for an empty array.
QByteArray binaryArrays(const std::vector<std::int64_t> &links)
{
    QByteArray out("bplist00");
    std::vector<std::uint64_t> offsets;
    for (const std::int64_t link : links) {
        offsets.push_back(static_cast<std::uint64_t>(out.size()));
        if (link < 0) {
            out.append('\xA0');
        } else {
            out.append('\xA1');
            appendBigEndian(out, static_cast<std::uint64_t>(link), 4);
        }
    }
    const auto table = static_cast<std::uint64_t>(out.size());
    for (const std::uint64_t offset : offsets)
        appendBigEndian(out, offset, 4);
    out.append(QByteArray(6, '\0'));
    out.append('\4'); // offset size
    out.append('\4'); // reference size
    appendBigEndian(out, links.size(), 8);
    appendBigEndian(out, 0, 8);
    appendBigEndian(out, table, 8);
    return out;
}

QByteArray binaryChain(std::int64_t depth)
{
    std::vector<std::int64_t> links;
    for (std::int64_t i = 0; i + 1 < depth; ++i)
        links.push_back(i + 1);
    links.push_back(-1);
    return binaryArrays(links);
}

QByteArray xmlChain(int depth)
{
    QByteArray out("<?xml version=\"1.0\"?>\n<plist version=\"1.0\">\n<!-- </array></array> -->");
    for (int i = 0; i < depth; ++i)
        out.append("<array>");
    for (int i = 0; i < depth; ++i)
        out.append("</array>");
    return out + "</plist>\n";
}

mode_t modeOf(const QString &path)
{
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
}

} // namespace

// Every one of these once crashed or hung the start. Each must end in a
// running store with the defaults, the offending entry moved aside, and a
// fresh file written at the next save.
TEST(SettingsStoreHostileFile, WhatCannotBeReadSafelyIsSetAsideAndTheDefaultsApply)
{
    struct Case {
        const char *name;
        std::function<void(const SettingsFolder &)> make;
        const char *reason;
    };
    const auto write = [](QByteArray bytes) { return [bytes](const SettingsFolder &f) { f.writeFile(bytes); }; };
    const Case cases[] = {
        {"pipe", [](const SettingsFolder &f) { ASSERT_EQ(::mkfifo(QFile::encodeName(f.settingsFile()), 0600), 0); },
         "is not a regular file"},
        {"link to a device",
         [](const SettingsFolder &f) { ASSERT_TRUE(QFile::link(k("/dev/zero"), f.settingsFile())); },
         "is not a regular file"},
        {"folder", [](const SettingsFolder &f) { ASSERT_TRUE(QDir().mkdir(f.settingsFile())); },
         "is not a regular file"},
        {"too large",
         [](const SettingsFolder &f) {
             f.writeFile(QByteArray("<plist>"));
             ASSERT_EQ(::truncate(QFile::encodeName(f.settingsFile()), PlistCodec::kMaxBytes + 1), 0);
         },
         "is larger than 16777216 bytes"},
        {"deep XML", write(xmlChain(200000)), "nested deeper than 32 levels"},
        {"deep XML behind a comment", write(xmlChain(PlistCodec::kMaxDepth + 2)), "nested deeper than 32 levels"},
        {"deep binary", write(binaryChain(100000)), "nested deeper than 32 levels"},
        {"binary cycle", write(binaryArrays({1, 0})), "is not a property list"},
        {"binary reference out of range", write(binaryArrays({7})), "is not a property list"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SettingsFolder folder;
        c.make(folder);
        ScopedLogCapture log;
        SettingsStore store(folder.settingsFile());

        EXPECT_TRUE(store.dictionaryRepresentation().isEmpty());
        const std::optional<QString> backup = store.damagedFileBackupPath();
        ASSERT_TRUE(backup.has_value());
        EXPECT_EQ(log.count(k("Settings file %1 %2; moved it to %3, the defaults apply.\n")
                                .arg(folder.settingsFile(), k(c.reason), *backup)
                                .toStdString()),
                  1)
            << (log.lines().empty() ? "" : log.lines().front());
        store.setValue(k("ZoomLevel"), PlistValue::integer(4));
        ASSERT_TRUE(store.synchronize());
        EXPECT_FALSE(QFileInfo(folder.settingsFile()).isSymLink());
        EXPECT_EQ(SettingsStore(folder.settingsFile()).intValueForKey(k("ZoomLevel"), 0), 4);
    }

    // Nesting up to the limit is a settings file like any other.
    SettingsFolder folder;
    folder.writeFile(binaryChain(PlistCodec::kMaxDepth));
    EXPECT_EQ(PlistCodec::fromBytes(binaryChain(PlistCodec::kMaxDepth))->kind(), PlistKind::Array);
    EXPECT_TRUE(PlistCodec::fromBytes(xmlChain(PlistCodec::kMaxDepth)).has_value());
}

TEST(SettingsStoreHostileFile, AReadOnlyFileIsLeftAloneAndSaidSoOnce)
{
    SettingsFolder folder;
    {
        SettingsStore store(folder.settingsFile());
        store.setValue(k("ZoomLevel"), PlistValue::integer(2));
        ASSERT_TRUE(store.synchronize());
    }
    ASSERT_EQ(::chmod(QFile::encodeName(folder.settingsFile()), 0444), 0);
    const QByteArray before = folder.readFile();

    ScopedLogCapture log;
    SettingsStore store(folder.settingsFile());
    for (int zoom = 3; zoom < 6; ++zoom) {
        store.setValue(k("ZoomLevel"), PlistValue::integer(zoom));
        store.synchronize();
    }
    EXPECT_EQ(folder.readFile(), before);
    EXPECT_EQ(modeOf(folder.settingsFile()), 0444u);
    EXPECT_EQ(log.count(k("Settings file %1 is read-only; changes to the settings are not saved.\n")
                            .arg(folder.settingsFile())
                            .toStdString()),
              1);
    EXPECT_EQ(store.intValueForKey(k("ZoomLevel"), 0), 5);
}

// What an interrupted save leaves is removed at the next start, and nothing
// else; a reset keeps what it is about to clear.
TEST(SettingsStoreHostileFile, LeftoversOfSavesAreClearedAndResetsKeepABackup)
{
    SettingsFolder folder;
    {
        SettingsStore store(folder.settingsFile());
        store.setValue(k("ZoomLevel"), PlistValue::integer(7));
        ASSERT_TRUE(store.synchronize());
    }
    const QByteArray saved = folder.readFile();
    for (const char *name :
         {".com.morvane.KelvoViewer.plist.a1B2c3", ".com.morvane.KelvoViewer.plist.zzzzzz",
          ".com.morvane.KelvoViewer.plist.abc", "com.morvane.KelvoViewer.plist.a1B2c3", ".other.plist.a1B2c3"}) {
        QFile file(QDir(folder.path()).filePath(k(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    SettingsStore store(folder.settingsFile());
    EXPECT_EQ(folder.entries(),
              (QStringList{k(".com.morvane.KelvoViewer.plist.abc"), k(".other.plist.a1B2c3"),
                           k("com.morvane.KelvoViewer.plist"), k("com.morvane.KelvoViewer.plist.a1B2c3")}));

    const std::optional<QString> backup = store.keepBackup(k("reset"));
    ASSERT_TRUE(backup.has_value());
    EXPECT_TRUE(
        QRegularExpression(k("/com\\.morvane\\.KelvoViewer\\.plist\\.reset-\\d{8}-\\d{6}$")).match(*backup).hasMatch());
    store.removePersistentDomain();
    ASSERT_TRUE(store.synchronize());
    QFile copy(*backup);
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), saved);
    EXPECT_TRUE(SettingsStore(folder.settingsFile()).dictionaryRepresentation().isEmpty());
    EXPECT_NE(store.keepBackup(k("reset")), backup); // a second one the same second gets its own name
}

// Each input here once stopped the loader under the fuzzer; at a start it
// must end in loaded settings or a file set aside, never in a crash.
TEST(SettingsStoreHostileFile, InputsThatOnceBrokeTheLoaderAreHandled)
{
    const QFileInfoList inputs = QDir(k(KELVO_FUZZ_REGRESSIONS)).entryInfoList(QDir::Files);
    ASSERT_FALSE(inputs.isEmpty());
    for (const QFileInfo &input : inputs) {
        SCOPED_TRACE(input.fileName().toStdString());
        QFile file(input.filePath());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        SettingsFolder folder;
        folder.writeFile(file.readAll());
        ScopedLogCapture log;
        SettingsStore store(folder.settingsFile());
        EXPECT_NE(store.dictionaryRepresentation().isEmpty(), !store.damagedFileBackupPath().has_value());
        store.setValue(k("ZoomLevel"), PlistValue::integer(3));
        EXPECT_TRUE(store.synchronize());
    }
}
