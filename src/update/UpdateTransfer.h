#pragma once

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace kelvo::update {

// Where an interrupted transfer stopped: the URL, how many bytes of it are in
// the destination file, and the server's validator (its ETag, or else its
// Last-Modified date) for those bytes. Kept in the settings as opaque data.
struct ResumeData {
    QUrl url;
    std::int64_t bytes = 0;
    QByteArray validator;

    QByteArray encode() const;
    // None when the data is not resume data this viewer wrote.
    static std::optional<ResumeData> decode(const QByteArray &data);
};

// One download of an update file straight into its destination file,
// continued from resume data with an HTTP Range request guarded by If-Range:
// a server that still has the same file answers 206 from the stored offset,
// one whose file changed answers 200 and the transfer starts again from zero.
// Only accepted URLs are fetched and followed on redirects (UrlPolicy); a
// body larger than maxBytes is stopped early and its file removed.
// Emits exactly one of finished() and failed(), unless pause() came first.
// Thread: the thread of its network access manager (the main thread).
class UpdateTransfer : public QObject {
    Q_OBJECT
public:
    struct Limits {
        std::int64_t maxBytes = (std::int64_t(1) << 31) - 1;
        int timeoutMs = 60000; // without a byte arriving
        int maxRedirects = 5;
    };

    UpdateTransfer(QNetworkAccessManager &network, QUrl url, QString destinationPath, Limits limits,
                   QObject *parent = nullptr);
    ~UpdateTransfer() override;

    QUrl url() const { return m_url; }
    QString destinationPath() const { return m_destinationPath; }

    // Opens the destination file (creating its folder) and sends the request,
    // continuing from resumeData when it belongs to this URL, carries a
    // validator and the file still holds its bytes. Answers false, with the
    // reason in error, when the URL is refused or the file cannot be opened.
    bool start(const std::optional<QByteArray> &resumeData, QString *error);

    // Stops the transfer without a signal and answers its resume data (none
    // when nothing resumable was received).
    std::optional<QByteArray> pause();

signals:
    // The server agreed to continue at offset.
    void resumed(qint64 offset);
    // written counts from the start of the file; expected is -1 when unknown.
    void progress(qint64 written, qint64 expected);
    void finished();
    void failed(const QString &error, const std::optional<QByteArray> &resumeData);

private:
    void onMetaData();
    void onReadyRead();
    void onReplyFinished();
    void onRedirected(const QUrl &target);
    void fail(const QString &error, bool resumable);
    std::optional<QByteArray> currentResumeData() const;
    void stopReply();

    QNetworkAccessManager &m_network;
    const QUrl m_url;
    const QString m_destinationPath;
    const Limits m_limits;
    QFile m_file;
    QPointer<QNetworkReply> m_reply;
    std::int64_t m_offset = 0;  // where this response's body starts in the file
    std::int64_t m_written = 0; // bytes in the file
    std::int64_t m_expected = -1;
    QByteArray m_validator;
    std::optional<QByteArray> m_previousResumeData;
    bool m_headersSeen = false;
    bool m_done = false;
};

} // namespace kelvo::update
