#pragma once

class QEvent;
class QKeyEvent;
class QObject;

namespace kelvo::ui {

// The key press `event` as it reaches its first receiver: the focus widget,
// or the window when nothing in the window has the focus. An application
// filter is offered each key press once for every widget it propagates to;
// acting only on the first acts once. Null for any other event or receiver.
QKeyEvent *keyPressAtFirstReceiver(QObject *watched, QEvent *event);

} // namespace kelvo::ui
