#pragma once

#include "settings/SettingsStore.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kelvo::settings::test {

// A private folder holding the settings file of one test.
class SettingsFolder {
public:
    SettingsFolder() { EXPECT_TRUE(m_dir.isValid()); }

    QString path() const { return m_dir.path(); }
    QString settingsFile() const { return m_dir.filePath(QStringLiteral("com.morvane.KelvoViewer.plist")); }

    void writeFile(const QByteArray &bytes) const
    {
        QFile file(settingsFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QByteArray readFile() const
    {
        QFile file(settingsFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Every name in the folder, sorted.
    QStringList entries() const
    {
        return QDir(path()).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }

private:
    QTemporaryDir m_dir;
};

// A property list with the given body inside its top-level dictionary.
inline QByteArray plistWithDictionaryBody(const char *body)
{
    return QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n") + body +
           "\n</dict>\n</plist>\n";
}

} // namespace kelvo::settings::test
