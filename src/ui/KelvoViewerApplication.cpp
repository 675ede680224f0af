#include "ui/KelvoViewerApplication.h"

#include "common/BuildInfo.h"
#include "ui/FocusFrameStyle.h"
#include "ui/KeyDelivery.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenuBar>
#include <QNativeGestureEvent>
#include <QStyleFactory>

namespace kelvo::ui {

KelvoViewerApplication::KelvoViewerApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setApplicationName(QString::fromUtf8(build::kApplicationName));
    setApplicationVersion(QString::fromUtf8(build::kShortVersion));
    setOrganizationName(QStringLiteral("Morvane"));
    setOrganizationDomain(QStringLiteral("morvane.com"));
    setDesktopFileName(QStringLiteral("com.morvane.KelvoViewer"));
    // Closing the video window ends the run through the delegate, once its
    // own closing steps are done; dialogs left open never keep it alive.
    setQuitOnLastWindowClosed(false);
    // Fusion draws focus on every control that takes it; the frame is made
    // thick enough to be found.
    setStyle(new FocusFrameStyle(QStyleFactory::create(QStringLiteral("Fusion"))));
}

KelvoViewerApplication *KelvoViewerApplication::instance()
{
    return qobject_cast<KelvoViewerApplication *>(QCoreApplication::instance());
}

bool KelvoViewerApplication::notify(QObject *receiver, QEvent *event)
{
    if (m_routingTarget && receiver && event && route(receiver, event))
        return true;
    return QApplication::notify(receiver, event);
}

bool KelvoViewerApplication::route(QObject *receiver, QEvent *event)
{
    // The window system's events reach the window first and then its
    // widget; acting at the widget acts once.
    if (!receiver->isWidgetType())
        return false;
    switch (event->type()) {
    case QEvent::MouseMove:
        if (m_routingTarget->isFullScreen())
            m_routingTarget->mouseMoved();
        return false;
    case QEvent::KeyPress:
        if (!keyPressAtFirstReceiver(receiver, event))
            return false;
        return routeKey(*static_cast<QKeyEvent *>(event));
    case QEvent::NativeGesture:
        break;
    default:
        return false;
    }
    const auto *gesture = static_cast<QNativeGestureEvent *>(event);
    switch (gesture->gestureType()) {
    case Qt::BeginNativeGesture:
        m_routingTarget->beginGesture();
        return true;
    case Qt::ZoomNativeGesture:
        m_routingTarget->magnify(gesture->value());
        return true;
    case Qt::SmartZoomNativeGesture:
        m_routingTarget->smartMagnify();
        return true;
    case Qt::RotateNativeGesture:
        m_routingTarget->rotateGesture(gesture->value());
        return true;
    case Qt::EndNativeGesture:
        // The end takes the normal way as well, for whoever else follows
        // the gesture.
        m_routingTarget->endGesture();
        return false;
    default:
        return false;
    }
}

bool KelvoViewerApplication::routeKey(const QKeyEvent &key)
{
    if (!(key.modifiers() & Qt::ControlModifier))
        return false;
    if (charactersIgnoringModifiersIncludingShiftIsEqualToString(key, QStringLiteral("+"), true, keyboardLayout())) {
        // The key with "+" on its shifted face counts as Ctrl+"+", Shift or not.
        return m_routingTarget->performKeyEquivalent(QKeySequence(Qt::CTRL | Qt::Key_Plus));
    }
    if (charactersIgnoringModifiersIncludingShiftIsEqualToString(key, QStringLiteral("?"), true, keyboardLayout())) {
        openHelpMenu();
        return true;
    }
    // An exact Ctrl+"?" is left to normal dispatch, and on this desktop
    // nothing there opens the Help menu by itself: do what it is expected to.
    if (charactersIgnoringModifiers(key) == QLatin1String("?")) {
        openHelpMenu();
        return true;
    }
    return false;
}

const KeyboardLayout &KelvoViewerApplication::keyboardLayout()
{
    if (!m_layout)
        m_layout.emplace(KeyboardLayout::current());
    return *m_layout;
}

void KelvoViewerApplication::openHelpMenu()
{
    QAction *help = m_routingTarget ? m_routingTarget->helpMenuItem() : nullptr;
    if (!help || !help->isEnabled() || !help->isVisible())
        return;
    for (QObject *owner : help->associatedObjects()) {
        if (auto *bar = qobject_cast<QMenuBar *>(owner)) {
            bar->window()->activateWindow();
            bar->setActiveAction(help);
            return;
        }
    }
}

} // namespace kelvo::ui
