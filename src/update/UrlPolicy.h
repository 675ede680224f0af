#pragma once

#include <QUrl>

namespace kelvo::update {

// Whether the viewer may fetch from url: https to any host, or plain http to
// this machine only. The control list carries the checksum of the file it
// names, so whoever can alter one over an unprotected network can alter both.
// Everything else (file:, ftp:, data:, a relative URL) is refused.
bool isAcceptedUpdateUrl(const QUrl &url);

// Whether host names this machine: "localhost" or a loopback address.
bool isLoopbackHost(const QString &host);

} // namespace kelvo::update
