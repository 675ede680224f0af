#include "update/UpdateTransfer.h"

#include "update/UrlPolicy.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>

namespace kelvo::update {

namespace {

constexpr char kResumeFormat[] = "kelvo-resume-1";

struct ContentRange {
    std::int64_t first = -1;
    std::int64_t last = -1;
    std::int64_t total = -1; // -1 for "*"
};

std::optional<ContentRange> parseContentRange(const QByteArray &header)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*bytes\\s+(\\d{1,18})-(\\d{1,18})/(\\d{1,18}|\\*)\\s*$"));
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(header));
    if (!match.hasMatch())
        return std::nullopt;
    ContentRange range;
    range.first = match.captured(1).toLongLong();
    range.last = match.captured(2).toLongLong();
    if (match.captured(3) != QLatin1String("*"))
        range.total = match.captured(3).toLongLong();
    if (range.last < range.first || (range.total >= 0 && range.last >= range.total))
        return std::nullopt;
    return range;
}

} // namespace

QByteArray ResumeData::encode() const
{
    QJsonObject object;
    object.insert(QStringLiteral("format"), QLatin1String(kResumeFormat));
    object.insert(QStringLiteral("url"), url.toString(QUrl::FullyEncoded));
    object.insert(QStringLiteral("bytes"), QString::number(bytes));
    object.insert(QStringLiteral("validator"), QString::fromLatin1(validator));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<ResumeData> ResumeData::decode(const QByteArray &data)
{
    const QJsonDocument document = QJsonDocument::fromJson(data);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    if (object.value(QStringLiteral("format")).toString() != QLatin1String(kResumeFormat))
        return std::nullopt;
    ResumeData resume;
    resume.url = QUrl(object.value(QStringLiteral("url")).toString(), QUrl::StrictMode);
    bool ok = false;
    resume.bytes = object.value(QStringLiteral("bytes")).toString().toLongLong(&ok);
    resume.validator = object.value(QStringLiteral("validator")).toString().toLatin1();
    if (!ok || resume.bytes < 0 || !resume.url.isValid())
        return std::nullopt;
    return resume;
}

UpdateTransfer::UpdateTransfer(QNetworkAccessManager &network, QUrl url, QString destinationPath, Limits limits,
                               QObject *parent)
    : QObject(parent), m_network(network), m_url(std::move(url)), m_destinationPath(std::move(destinationPath)),
      m_limits(limits), m_file(m_destinationPath)
{}

UpdateTransfer::~UpdateTransfer()
{
    stopReply();
}

bool UpdateTransfer::start(const std::optional<QByteArray> &resumeData, QString *error)
{
    if (!isAcceptedUpdateUrl(m_url)) {
        if (error)
            *error = QStringLiteral("refusing to download %1: only https, or http to this machine, is allowed")
                         .arg(m_url.toString());
        return false;
    }
    QDir().mkpath(QFileInfo(m_destinationPath).absolutePath());
    if (!m_file.open(QIODevice::ReadWrite)) {
        if (error)
            *error = m_file.errorString();
        return false;
    }
    m_previousResumeData = resumeData;
    std::optional<ResumeData> resume = resumeData ? ResumeData::decode(*resumeData) : std::nullopt;
    // Without a validator there is no way to know the server still has the
    // same file, so those bytes cannot be trusted to continue it.
    if (resume && resume->url == m_url && !resume->validator.isEmpty() && resume->bytes > 0 &&
        resume->bytes <= m_limits.maxBytes && m_file.size() >= resume->bytes) {
        m_offset = resume->bytes;
        m_validator = resume->validator;
    }
    m_file.resize(m_offset);
    m_file.seek(m_offset);
    m_written = m_offset;

    QNetworkRequest request(m_url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(m_limits.maxRedirects);
    request.setTransferTimeout(m_limits.timeoutMs);
    // The file is written as it arrives; a transparently decompressed body
    // would not match the byte ranges the server counts in.
    request.setRawHeader("Accept-Encoding", "identity");
    if (m_offset > 0) {
        request.setRawHeader("Range", "bytes=" + QByteArray::number(qlonglong(m_offset)) + '-');
        request.setRawHeader("If-Range", m_validator);
    }
    m_reply = m_network.get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &UpdateTransfer::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &UpdateTransfer::onReplyFinished);
    connect(m_reply, &QNetworkReply::redirected, this, &UpdateTransfer::onRedirected);
    return true;
}

std::optional<QByteArray> UpdateTransfer::pause()
{
    if (m_done)
        return std::nullopt;
    m_done = true;
    const std::optional<QByteArray> resume = currentResumeData();
    stopReply();
    m_file.close();
    return resume;
}

void UpdateTransfer::onRedirected(const QUrl &target)
{
    if (m_done || !m_reply)
        return;
    const QUrl next = m_reply->url().resolved(target);
    if (!isAcceptedUpdateUrl(next)) {
        fail(QStringLiteral("refused a redirect to %1").arg(next.toString()), false);
        return;
    }
    emit m_reply->redirectAllowed();
}

void UpdateTransfer::onMetaData()
{
    if (m_headersSeen || !m_reply)
        return;
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 0 || (status >= 300 && status < 400))
        return; // no answer yet, or a redirect still being followed
    m_headersSeen = true;
    const QByteArray etag = m_reply->rawHeader("ETag");
    const QByteArray validator = etag.isEmpty() ? m_reply->rawHeader("Last-Modified") : etag;
    const std::int64_t bodyLength = m_reply->header(QNetworkRequest::ContentLengthHeader).isValid()
                                        ? m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong()
                                        : -1;
    if (status == 206) {
        const std::optional<ContentRange> range = parseContentRange(m_reply->rawHeader("Content-Range"));
        if (m_offset == 0 || !range || range->first != m_offset) {
            // Bytes for some other place in the file; writing them would
            // corrupt it, and the stored offset is evidently not trusted.
            fail(QStringLiteral("the server answered with a range that was not asked for (%1)")
                     .arg(QString::fromLatin1(m_reply->rawHeader("Content-Range"))),
                 false);
            return;
        }
        m_expected = range->total >= 0 ? range->total : range->last + 1;
        if (!validator.isEmpty())
            m_validator = validator;
        emit resumed(m_offset);
    } else if (status == 200) {
        // The whole file: the server ignored the range, or its file changed
        // since the stored bytes were received.
        if (m_offset > 0) {
            m_offset = 0;
            m_written = 0;
            m_file.resize(0);
            m_file.seek(0);
        }
        m_validator = validator;
        m_expected = bodyLength;
    } else {
        // A passing server failure keeps what was received before; any other
        // answer means the stored state is of no use.
        fail(QStringLiteral("HTTP status code %1").arg(status), status >= 500);
        return;
    }
    if (m_expected > m_limits.maxBytes)
        fail(QStringLiteral("the file is larger than %1 bytes").arg(m_limits.maxBytes), false);
}

void UpdateTransfer::onReadyRead()
{
    onMetaData();
    if (m_done || !m_reply || !m_headersSeen)
        return;
    const QByteArray chunk = m_reply->readAll();
    if (chunk.isEmpty())
        return;
    if (m_written + chunk.size() > m_limits.maxBytes) {
        fail(QStringLiteral("the file is larger than %1 bytes").arg(m_limits.maxBytes), false);
        return;
    }
    if (m_file.write(chunk) != chunk.size()) {
        fail(m_file.errorString(), true);
        return;
    }
    m_written += chunk.size();
    emit progress(m_written, m_expected);
}

void UpdateTransfer::onReplyFinished()
{
    if (m_done || !m_reply)
        return;
    onReadyRead();
    if (m_done)
        return;
    const QNetworkReply::NetworkError error = m_reply->error();
    if (error != QNetworkReply::NoError) {
        fail(m_reply->errorString(), true);
        return;
    }
    if (!m_headersSeen) {
        fail(QStringLiteral("no answer from the server"), true);
        return;
    }
    if (m_expected >= 0 && m_written != m_expected) {
        fail(QStringLiteral("the connection ended after %1 of %2 bytes").arg(m_written).arg(m_expected), true);
        return;
    }
    m_done = true;
    m_file.close();
    stopReply();
    emit finished();
}

std::optional<QByteArray> UpdateTransfer::currentResumeData() const
{
    if (!m_headersSeen)
        return m_previousResumeData; // nothing new was received
    if (m_validator.isEmpty() || m_written <= 0)
        return std::nullopt;
    return ResumeData{m_url, m_written, m_validator}.encode();
}

void UpdateTransfer::fail(const QString &error, bool resumable)
{
    if (m_done)
        return;
    m_done = true;
    const std::optional<QByteArray> resume = resumable ? currentResumeData() : std::nullopt;
    stopReply();
    m_file.close();
    // Bytes that cannot be continued only take room in the user's cache.
    if (!resume)
        QFile::remove(m_destinationPath);
    emit failed(error, resume);
}

void UpdateTransfer::stopReply()
{
    if (!m_reply)
        return;
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    disconnect(reply, nullptr, this, nullptr);
    reply->abort();
    reply->deleteLater();
}

} // namespace kelvo::update
