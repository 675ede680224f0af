#include "ui/HelpManual.h"

#include "common/Localization.h"
#include "common/SystemLog.h"
#include "ui/ViewerDialog.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace kelvo::ui {
namespace {

constexpr const char *kTitle = "Kelvo Viewer Help";

// The smallest text the help window shows, in points: the manual's readers
// see poorly, and a desktop's default is made for those who do not.
constexpr double kMinimumPointSize = 18.0;

bool isCloseKey(const QKeyEvent *event)
{
    return event->key() == Qt::Key_W && (event->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier;
}

// Ctrl+= and Ctrl++ enlarge, Ctrl+- shrinks: +1, -1, or 0 for any other key.
int zoomStep(const QKeyEvent *event)
{
    if (!(event->modifiers() & Qt::ControlModifier) || (event->modifiers() & Qt::AltModifier))
        return 0;
    switch (event->key()) {
    case Qt::Key_Equal:
    case Qt::Key_Plus:
        return 1;
    case Qt::Key_Minus:
        return -1;
    default:
        return 0;
    }
}

// The in-program manual. Escape, Ctrl+W and the zoom keys belong to this
// window while it is active: the menu bar binds the same keys for the whole
// viewer (close the active window, zoom the camera), and a reader enlarging
// the manual must not move the camera's lens.
class HelpWindow : public ViewerDialog {
public:
    HelpWindow(const QString &path, QWidget *parent) : ViewerDialog(parent)
    {
        setObjectName(QStringLiteral("helpWindow"));
        setWindowTitle(localized(kTitle));
        setAccessibleName(windowTitle());
        // Unlike the other dialogs it holds nothing worth keeping: a closed
        // manual is read afresh from disk next time.
        setAttribute(Qt::WA_DeleteOnClose);

        m_text = new QTextBrowser(this);
        m_text->setObjectName(QStringLiteral("helpText"));
        m_text->setAccessibleName(localized("Manual"));
        m_text->setOpenExternalLinks(true);
        QFont font = m_text->font();
        font.setPointSizeF(std::max(kMinimumPointSize, font.pointSizeF() * 1.5));
        m_text->setFont(font);
        // The text draws no focus frame of its own: a thick outline shows
        // when it, rather than the Close button, has the keyboard.
        setStyleSheet(QStringLiteral("QTextBrowser { color: black; background: white; border: 3px solid #767676; }"
                                     "QTextBrowser:focus { border: 3px solid palette(highlight); }"));
        m_text->setSearchPaths({QFileInfo(path).absolutePath()});
        m_text->setSource(QUrl::fromLocalFile(path));

        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
        buttons->button(QDialogButtonBox::Close)->setFont(font);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);

        auto *layout = new QVBoxLayout(this);
        layout->addWidget(m_text, 1);
        layout->addWidget(buttons);

        const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
        if (screen)
            resize(screen->availableGeometry().size() * 3 / 4);
        m_text->setFocus(Qt::OtherFocusReason);
    }

protected:
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::ShortcutOverride) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (key->key() == Qt::Key_Escape || isCloseKey(key) || zoomStep(key) != 0) {
                event->accept();
                return true;
            }
        }
        return ViewerDialog::event(event);
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        if (isCloseKey(event)) {
            close();
            return;
        }
        if (const int step = zoomStep(event)) {
            if (step > 0)
                m_text->zoomIn(2);
            else if (m_text->font().pointSizeF() > kMinimumPointSize)
                m_text->zoomOut(2);
            return;
        }
        ViewerDialog::keyPressEvent(event);
    }

private:
    QTextBrowser *m_text = nullptr;
};

} // namespace

HelpManual::HelpManual(Viewer viewer) : m_viewer(viewer)
{
    if (qEnvironmentVariable("KELVO_HELP_BROWSER") == QLatin1String("none"))
        m_viewer = Viewer::HelpWindow;
}

HelpManual::~HelpManual() = default;

QStringList HelpManual::candidatePaths()
{
    const QString explicitDir = qEnvironmentVariable("KELVO_HELP_DIR");
    if (!explicitDir.isEmpty())
        return {QDir(explicitDir).absoluteFilePath(QStringLiteral("index.html"))};
    QStringList paths;
    paths << QDir::cleanPath(QCoreApplication::applicationDirPath() +
                             QStringLiteral("/../share/kelvo-viewer/help/index.html"));
#ifdef KELVO_HELP_BUILD_DIR
    paths << QString::fromUtf8(KELVO_HELP_BUILD_DIR "/index.html");
#endif
    return paths;
}

QString HelpManual::manualPath()
{
    const QStringList paths = candidatePaths();
    const auto found =
        std::find_if(paths.begin(), paths.end(), [](const QString &path) { return QFileInfo(path).isFile(); });
    return found == paths.end() ? QString() : *found;
}

bool HelpManual::open(QWidget *parent)
{
    const QString path = manualPath();
    if (path.isEmpty()) {
        const QStringList looked = candidatePaths();
        systemLog("Help manual not found. Looked for: %s\n", qPrintable(looked.join(QStringLiteral(", "))));
        auto *box = new QMessageBox(QMessageBox::Warning, localized(kTitle),
                                    localized("The Kelvo Viewer manual could not be found."), QMessageBox::Ok, parent);
        box->setObjectName(QStringLiteral("helpMissing"));
        box->setInformativeText(localized("It was looked for here:") + QLatin1Char('\n') +
                                looked.join(QLatin1Char('\n')));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return false;
    }
    if (m_window) {
        m_window->show();
        m_window->raise();
        m_window->activateWindow();
        return true;
    }
    if (openInBrowser(path))
        return true;
    openHelpWindow(path, parent);
    return true;
}

bool HelpManual::openInBrowser(const QString &path)
{
    // Without xdg-open the desktop services have nothing to hand the page
    // to, and may still answer true.
    if (m_viewer == Viewer::HelpWindow || QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty())
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void HelpManual::openHelpWindow(const QString &path, QWidget *parent)
{
    m_window = new HelpWindow(path, parent);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

} // namespace kelvo::ui
