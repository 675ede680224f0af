#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace kelvo::settings {

// Replaces a file's whole content so that a reader, or the next start after a
// crash or power loss, finds either the old file or the new one, never a mix:
// the bytes go to a temporary file in the same folder, which is flushed to
// disk and then renamed over the destination; the folder is flushed last so
// the rename itself is durable. Stateless apart from the rename step; safe on
// any thread for different destinations.
class AtomicFileWriter {
public:
    // The step that moves the finished temporary file into place; rename(2)
    // unless a test replaces it to fail or stop there. Answers 0 or -1 with
    // errno set.
    using RenameStep = std::function<int(const char *from, const char *to)>;

    AtomicFileWriter();
    explicit AtomicFileWriter(RenameStep renameStep);

    // Writes bytes to path, creating the folder when missing. Symbolic links
    // at path are followed to the end of the chain, so the file they lead to
    // is replaced and every link kept. A file that is replaced keeps its
    // permissions; a new one is readable by its owner only. Answers false and
    // says which step failed in errorText; the old file is then untouched and
    // the temporary file removed.
    bool write(const QString &path, const QByteArray &bytes, QString *errorText = nullptr) const;

    // The path at the end of the chain of symbolic links starting at path
    // (path itself when it is no link), made absolute. A dangling link leads
    // to where its target would be; a loop ends after 40 links, at the last.
    static QString finalTarget(const QString &path);

    // Whether name is one of the temporary files write() makes for a file
    // called fileName: ".<fileName>.XXXXXX".
    static bool isTemporaryName(const QString &name, const QString &fileName);

private:
    RenameStep m_rename;
};

} // namespace kelvo::settings
