#include "ui/DraggableWindow.h"

#include "common/Localization.h"
#include "ui/MainMenu.h"
#include "ui/MenuTags.h"

#include <QAction>
#include <QCloseEvent>
#include <QLayout>
#include <QMenuBar>

namespace kelvo::ui {

DraggableWindow::DraggableWindow(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("videoWindow"));
    // Closing the video window hides it; the viewer keeps running so that it
    // can be shown again from the menu or by plugging the camera in.
    setAttribute(Qt::WA_DeleteOnClose, false);
}

void DraggableWindow::closeEvent(QCloseEvent *event)
{
    emit windowWillClose();
    QMainWindow::closeEvent(event);
}

QRect DraggableWindow::constrainFrameRect(const QRect &frame, QScreen *screen) const
{
    if (m_isAnimating || !m_fullScreenFrame)
        return frame;
    if (!screen)
        screen = this->screen();
    return m_fullScreenFrame(screen).value_or(frame);
}

void DraggableWindow::setPictureGeometry(std::optional<QRect> geometry)
{
    m_pictureGeometry = geometry;
    if (!m_pictureGeometry) {
        // The layout takes the picture back at its next pass.
        if (QLayout *windowLayout = layout())
            windowLayout->invalidate();
        return;
    }
    placePicture();
}

void DraggableWindow::placePicture()
{
    QWidget *picture = centralWidget();
    if (!picture || !m_pictureGeometry)
        return;
    picture->setGeometry(*m_pictureGeometry);
    // Over the menu bar too: in full screen nothing but the picture shows.
    picture->raise();
}

bool DraggableWindow::event(QEvent *event)
{
    // The window's layout has already placed the central widget when these
    // reach the window; a picture of our own geometry is put back over it.
    const bool handled = QMainWindow::event(event);
    switch (event->type()) {
    case QEvent::Resize:
    case QEvent::LayoutRequest:
    case QEvent::Show:
        placePicture();
        break;
    default:
        break;
    }
    return handled;
}

int DraggableWindow::titleBarHeightForWidth(int width) const
{
    // The same rule as QLayout's for the menu bar it manages.
    QWidget *bar = menuWidget();
    if (!bar || bar->isHidden() || bar->isWindow())
        return 0;
    int height = bar->heightForWidth(width);
    if (height < 0)
        height = bar->sizeHint().height();
    return qMax(height, bar->minimumHeight());
}

void DraggableWindow::zoom()
{
    if (isMaximized())
        showNormal();
    else
        showMaximized();
    resetZoomMenuItemTitle();
}

void DraggableWindow::resetZoomMenuItemTitle()
{
    QAction *item = findMenuItem(menuBar(), MenuTag::Window, MenuTag::WindowZoom);
    if (!item)
        return;
    item->setText(isZoomed() ? localized("Normal window &zoom size") : localized("Maximi&ze window zoom size"));
}

void DraggableWindow::makeKeyAndOrderFront()
{
    if (m_isForegroundApp && !m_isForegroundApp())
        return;
    show();
    raise();
    activateWindow();
}

} // namespace kelvo::ui
