#pragma once

#include "settings/AtomicFileWriter.h"
#include "settings/PlistValue.h"
#include "settings/SettingsWriter.h"

#include <QSet>
#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

namespace kelvo::settings {

// The application's persistent defaults domain: a typed key-value store kept
// as an XML property list. Reading and changing work on memory, by key in
// constant time; synchronize() writes the whole domain to the file
// atomically. A file that cannot be read or parsed is moved aside (never
// overwritten), logged, and the domain starts empty so every default
// applies. Symbolic links at the path are followed to the real file, which is
// the one replaced; a read-only file is left alone.
// Thread: meant for the main thread; every member locks m_mutex, so a stray
// call from another thread is safe but sees whole operations only.
class SettingsStore {
public:
    static constexpr const char *kDomainName = "com.morvane.KelvoViewer";

    // $XDG_CONFIG_HOME/kelvo-viewer/com.morvane.KelvoViewer.plist, with
    // ~/.config when XDG_CONFIG_HOME is unset, empty or not absolute.
    static QString defaultFilePath();

    // Reads the file at filePath (see reload()).
    explicit SettingsStore(QString filePath = defaultFilePath(), AtomicFileWriter writer = AtomicFileWriter());

    QString filePath() const;

    // Replaces the domain with the file's content. A missing file is an empty
    // domain. Anything at the path that is not a regular file (a folder, a
    // pipe, a device, a link to one), a file larger than
    // PlistCodec::kMaxBytes, a file that cannot be read, is not a property
    // list, nests too deeply, or whose top level is not a dictionary is
    // renamed to "<name>.damaged-YYYYMMDD-HHMMSS" (UTC) and logged; the
    // domain is then empty. Answers false in that case. Temporary files left
    // next to the real file by an interrupted write are removed.
    bool reload();

    // Copies the file as it is now to "<name>.<label>-YYYYMMDD-HHMMSS" (UTC)
    // next to the real file, before a change the user may want to undo by
    // hand (a reset). Answers the copy's path, or none when there was no
    // file or it could not be copied (logged).
    std::optional<QString> keepBackup(const QString &label);

    // The path the last damaged file was moved to, if any, for diagnostics.
    std::optional<QString> damagedFileBackupPath() const;

    std::optional<PlistValue> objectForKey(const QString &key) const;
    void setValue(const QString &key, PlistValue value);
    // Sets key to value, or removes the key when value is none.
    void setObject(const QString &key, const std::optional<PlistValue> &value);
    void removeObjectForKey(const QString &key);
    PlistDictionary dictionaryRepresentation() const;
    // Clears every key of the domain, global and per camera alike; the file
    // follows at the next synchronize().
    void removePersistentDomain();

    // The typed readers, with the rules of PlistDictionary.
    std::int32_t intValueForKey(const QString &key, std::int32_t defaultValue) const;
    std::int64_t integerValueForKey(const QString &key, std::int64_t defaultValue) const;
    bool boolValueForKey(const QString &key, bool defaultValue) const;
    std::optional<PlistValue> valueForKey(const QString &key, PlistClass valueClass,
                                          const std::optional<PlistValue> &defaultValue) const;
    std::optional<PlistValue> valueForKey(const QString &key, PlistClass valueClass) const;

    // Writes the domain to the file atomically when it changed since the last
    // successful write (or reload). Answers false and logs the reason when
    // the file could not be written; the previous file is then intact and the
    // next call tries again. A damaged file that could not be moved aside at
    // reload is moved first, so it is never overwritten. A file without write
    // permission for its owner is not replaced: the changes stay in memory
    // and the first refusal is logged. Only values changed since the last
    // write are checked to read back, never the whole file.
    bool synchronize();

    // With writes in the background, synchronize() checks and takes a copy
    // of the domain on the calling thread and leaves making and writing the
    // file to a thread of the store's own; it then answers false only for
    // what it found before handing over. A write that fails there is logged,
    // and the next synchronize() tries again. Saves keep their order, reload()
    // and keepBackup() wait for them, and the store writes what is still
    // waiting before it goes away. Off by default: callers that read the file
    // straight after a save get what they expect.
    void setWritesInBackground(bool inBackground);
    // Waits for the background writes handed over so far; answers whether the
    // last one succeeded (true when writes are not in the background).
    bool waitForWrites();

private:
    bool writeDomain(const PlistDictionary &domain) const;
    bool setAsideDamagedFile(const QString &reason); // requires m_mutex
    bool readFile(QByteArray &bytes);                // requires m_mutex
    void removeStaleTemporaries() const;             // requires m_mutex
    QString realPath() const;

    const QString m_filePath;
    const AtomicFileWriter m_writer;
    mutable std::mutex m_mutex;
    PlistDictionary m_domain; // guarded by m_mutex
    bool m_dirty = false;     // guarded by m_mutex
    // Keys set since the last write or reload, whose values have not yet
    // been shown to survive the file; guarded by m_mutex.
    QSet<QString> m_unverifiedKeys;
    bool m_readOnlyReported = false;            // guarded by m_mutex
    bool m_damagedFileInPlace = false;          // guarded by m_mutex
    std::optional<QString> m_damagedBackupPath; // guarded by m_mutex
    // Last, so that it is gone, its last write done, before anything its
    // writes use.
    std::unique_ptr<SettingsWriter> m_backgroundWriter;
};

} // namespace kelvo::settings
