#include "video/CaptureNotificationCenter.h"

#include <algorithm>

namespace kelvo::video {

CaptureNotificationCenter::Token CaptureNotificationCenter::addObserver(CaptureNotification kind,
                                                                        CaptureSessionId session, Handler handler)
{
    const Token token = m_nextToken++;
    m_observers.push_back({token, kind, session, std::move(handler)});
    return token;
}

void CaptureNotificationCenter::removeObserver(Token token)
{
    std::erase_if(m_observers, [token](const Observer &o) { return o.token == token; });
}

void CaptureNotificationCenter::post(const CaptureNotificationInfo &info)
{
    std::vector<Token> matching;
    for (const Observer &o : m_observers) {
        if (o.kind == info.kind && (o.session == kAnySession || o.session == info.session))
            matching.push_back(o.token);
    }
    for (Token token : matching) {
        auto it = std::find_if(m_observers.begin(), m_observers.end(),
                               [token](const Observer &o) { return o.token == token; });
        if (it == m_observers.end())
            continue;
        // A copy, because the handler may remove itself.
        Handler handler = it->handler;
        handler(info);
    }
}

} // namespace kelvo::video
