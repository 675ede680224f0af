#include "ui/HelpManual.h"

#include "common/SystemLog.h"

#include <QAccessible>
#include <QAction>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QKeySequence>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QWidget>
#include <gtest/gtest.h>

using kelvo::ui::HelpManual;

namespace {

// Every test starts from the manual of the build tree, whatever the
// environment of the person running the tests names.
class HelpManualTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_savedHelpDir = qgetenv("KELVO_HELP_DIR");
        qunsetenv("KELVO_HELP_DIR");
        m_manual = HelpManual::manualPath();
        ASSERT_FALSE(m_manual.isEmpty()) << "no manual in the build tree";
        QFile file(m_manual);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        m_html = QString::fromUtf8(file.readAll());
    }
    void TearDown() override
    {
        if (m_savedHelpDir.isNull())
            qunsetenv("KELVO_HELP_DIR");
        else
            qputenv("KELVO_HELP_DIR", m_savedHelpDir);
    }

    QString folder() const { return QFileInfo(m_manual).absolutePath(); }

    QImage picture(int mode) const
    {
        return QImage(QDir(folder()).filePath(QStringLiteral("mode-%1.png").arg(mode, 2, 10, QLatin1Char('0'))));
    }

    // The text of the first match of pattern's first group, tags removed.
    QString firstMatch(const QString &pattern) const
    {
        const auto match = QRegularExpression(pattern, QRegularExpression::DotMatchesEverythingOption).match(m_html);
        return match.hasMatch() ? plainText(match.captured(1)) : QString();
    }

    static QString plainText(QString html)
    {
        html.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
        return html.replace(QStringLiteral("&gt;"), QStringLiteral(">")).simplified();
    }

    QByteArray m_savedHelpDir;
    QString m_manual;
    QString m_html;
};

int lightShare(const QImage &image)
{
    int light = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            light += qGray(image.pixel(x, y)) > 128;
    }
    return 100 * light / (image.width() * image.height());
}

} // namespace

TEST_F(HelpManualTest, TheEnvironmentOverridesTheBuildTreeAndAMissingManualIsReportedWithItsPath)
{
    EXPECT_TRUE(m_manual.endsWith(QStringLiteral("share/kelvo-viewer/help/index.html"))) << m_manual.toStdString();

    QTemporaryDir elsewhere;
    ASSERT_TRUE(QFile::copy(m_manual, elsewhere.filePath(QStringLiteral("index.html"))));
    qputenv("KELVO_HELP_DIR", elsewhere.path().toUtf8());
    EXPECT_EQ(QFileInfo(HelpManual::manualPath()), QFileInfo(elsewhere.filePath(QStringLiteral("index.html"))));

    // A folder named on purpose that holds no manual must not fall back to
    // another manual without a word.
    QTemporaryDir empty;
    qputenv("KELVO_HELP_DIR", empty.path().toUtf8());
    EXPECT_TRUE(HelpManual::manualPath().isEmpty());
    QWidget parent;
    HelpManual manual(HelpManual::Viewer::HelpWindow);
    kelvo::ScopedLogCapture log;
    EXPECT_FALSE(manual.open(&parent));
    EXPECT_EQ(manual.helpWindow(), nullptr);
    const QString looked = QDir(empty.path()).filePath(QStringLiteral("index.html"));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find(looked.toStdString()), std::string::npos) << log.lines()[0];
    auto *box = parent.findChild<QMessageBox *>(QStringLiteral("helpMissing"));
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_TRUE(box->informativeText().contains(looked)) << box->informativeText().toStdString();
    box->close();
}

TEST_F(HelpManualTest, EveryPictureExistsWithAltTextAndEveryColourModeHasOne)
{
    const QRegularExpression image(QStringLiteral("<img\\b([^>]*)>"));
    const QRegularExpression source(QStringLiteral("\\bsrc=\"([^\"]+)\""));
    const QRegularExpression alt(QStringLiteral("\\balt=\"([^\"]*)\""));
    QSet<QString> sources;
    for (const auto &match : image.globalMatch(m_html)) {
        const QString attributes = match.captured(1);
        const QString src = source.match(attributes).captured(1);
        ASSERT_FALSE(src.isEmpty()) << match.captured(0).toStdString();
        EXPECT_FALSE(alt.match(attributes).captured(1).trimmed().isEmpty()) << "no alt text: " << src.toStdString();
        EXPECT_FALSE(QImage(QDir(folder()).filePath(src)).isNull()) << "missing or unreadable: " << src.toStdString();
        sources.insert(src);
    }
    for (int mode = 0; mode <= 30; ++mode) {
        const QString name = QStringLiteral("mode-%1.png").arg(mode, 2, 10, QLatin1Char('0'));
        EXPECT_TRUE(sources.contains(name)) << "the manual shows no picture of mode " << mode;
    }
}

TEST_F(HelpManualTest, ThePicturesComeFromTheColourModes)
{
    const QImage positive = picture(1);
    const QImage negative = picture(2);
    const QImage natural = picture(0);
    ASSERT_FALSE(positive.isNull());
    ASSERT_FALSE(negative.isNull());
    ASSERT_EQ(positive.size(), negative.size());
    // Mostly paper: light in black on white, dark in white on black, and
    // the same pixel swaps between the two.
    EXPECT_GT(lightShare(positive), 70);
    EXPECT_LT(lightShare(negative), 30);
    EXPECT_EQ(positive.pixel(4, 4), qRgb(255, 255, 255));
    EXPECT_EQ(negative.pixel(4, 4), qRgb(0, 0, 0));
    // The unchanged picture keeps its cream paper; black on yellow turns it
    // yellow.
    EXPECT_NE(natural.pixel(4, 4), positive.pixel(4, 4));
    const QRgb yellowPaper = picture(10).pixel(4, 4);
    EXPECT_GT(qRed(yellowPaper), 240);
    EXPECT_GT(qGreen(yellowPaper), 240);
    EXPECT_LT(qBlue(yellowPaper), 15);
}

TEST_F(HelpManualTest, KeyTableNamesEveryKeyBesideItsAction)
{
    const QString table = firstMatch(QStringLiteral("(<table class=\"keys\">.*?</table>)"));
    ASSERT_FALSE(table.isEmpty());
    // Each row of the manual's key table: its keys, and its text.
    struct Row {
        QStringList keys;
        QString text;
    };
    std::vector<Row> rows;
    const QRegularExpression rowPattern(QStringLiteral("<tr>(.*?)</tr>"),
                                        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpression keyPattern(QStringLiteral("<kbd>(.*?)</kbd>"));
    const QString tableHtml =
        m_html.section(QStringLiteral("<table class=\"keys\">"), 1).section(QStringLiteral("</table>"), 0, 0);
    for (const auto &row : rowPattern.globalMatch(tableHtml)) {
        Row parsed{{}, plainText(row.captured(1)).toLower()};
        for (const auto &key : keyPattern.globalMatch(row.captured(1))) {
            const QString name = key.captured(1);
            const QKeySequence sequence = QKeySequence::fromString(name, QKeySequence::PortableText);
            EXPECT_TRUE(sequence.count() == 1 && sequence[0].key() != Qt::Key_unknown)
                << "not a key: " << name.toStdString();
            parsed.keys << name;
        }
        rows.push_back(parsed);
    }

    const std::vector<std::pair<const char *, const char *>> expected = {
        {"Ctrl+=", "zoom in"},
        {"Ctrl++", "zoom in"},
        {"Ctrl+-", "zoom out"},
        {"F", "freeze"},
        {"Space", "freeze"},
        {"Ctrl+S", "save"},
        {"G", "locate"},
        {"C", "colour mode"},
        {"R", "rotate"},
        {"M", "mirror"},
        {"L", "light"},
        {"B", "battery"},
        {"H", "horizontal"},
        {"V", "vertical"},
        {"Shift+Up", "wider"},
        {"Shift+Down", "narrower"},
        {"Alt+Up", "move"},
        {"Alt+Down", "move"},
        {"Alt+Left", "move"},
        {"Alt+Right", "move"},
        {"F11", "full screen"},
        {"Ctrl+Shift+Up", "top edge"},
        {"Ctrl+Shift+Down", "bottom edge"},
        {"Ctrl+Shift+Left", "left edge"},
        {"Ctrl+Shift+Right", "right edge"},
        {"Ctrl+E", "recording"},
        {"Ctrl+D", "mute"},
        {"Ctrl+,", "preferences"},
        {"Ctrl+1", "video window"},
        {"Ctrl+W", "close the active window"},
        {"F1", "help"},
        {"Ctrl+Q", "quit"},
        {"Escape", "unfreeze"},
        {"Escape", "full screen"},
        {"Escape", "dialog"},
    };
    for (const auto &[key, action] : expected) {
        const bool found = std::any_of(rows.begin(), rows.end(), [&](const Row &row) {
            return row.keys.contains(QLatin1String(key)) && row.text.contains(QLatin1String(action));
        });
        EXPECT_TRUE(found) << "no row gives " << key << " with \"" << action << "\"";
    }
}

TEST_F(HelpManualTest, HelpWindowShowsTheManualWithItsPicturesAndOwnsItsKeys)
{
    QWidget videoWindow;
    // The menu bar binds the same keys for the whole viewer.
    int menuCloses = 0;
    int menuZooms = 0;
    QAction close(&videoWindow);
    close.setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    close.setShortcutContext(Qt::ApplicationShortcut);
    QObject::connect(&close, &QAction::triggered, [&] { ++menuCloses; });
    QAction zoom(&videoWindow);
    zoom.setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Equal));
    zoom.setShortcutContext(Qt::ApplicationShortcut);
    QObject::connect(&zoom, &QAction::triggered, [&] { ++menuZooms; });
    videoWindow.addAction(&close);
    videoWindow.addAction(&zoom);
    videoWindow.show();

    HelpManual manual(HelpManual::Viewer::HelpWindow);
    ASSERT_TRUE(manual.open(&videoWindow));
    QPointer<QDialog> window = manual.helpWindow();
    ASSERT_NE(window, nullptr);
    // Shortcuts act only while a window of the viewer is active.
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    EXPECT_EQ(window->objectName(), QStringLiteral("helpWindow"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Kelvo Viewer Help"));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(window)->role(), QAccessible::Dialog);

    auto *text = window->findChild<QTextBrowser *>();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->documentTitle(), firstMatch(QStringLiteral("<title>(.*?)</title>")));
    EXPECT_TRUE(text->toPlainText().contains(firstMatch(QStringLiteral("<h1>(.*?)</h1>"))));
    EXPECT_TRUE(text->toPlainText().contains(QStringLiteral("Black on Yellow")));
    const QVariant resource =
        text->document()->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("mode-02.png")));
    const QImage shown =
        resource.canConvert<QImage>() ? resource.value<QImage>() : QImage::fromData(resource.toByteArray());
    EXPECT_EQ(shown.size(), picture(2).size());
    EXPECT_FALSE(shown.isNull());
    EXPECT_GE(text->font().pointSizeF(), 18.0);

    // A second F1 raises the same window rather than opening another.
    ASSERT_TRUE(manual.open(&videoWindow));
    EXPECT_EQ(manual.helpWindow(), window.data());

    const double before = text->font().pointSizeF();
    QTest::keyClick(text, Qt::Key_Equal, Qt::ControlModifier);
    EXPECT_GT(text->font().pointSizeF(), before);
    EXPECT_EQ(menuZooms, 0);

    QTest::keyClick(text, Qt::Key_W, Qt::ControlModifier);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(menuCloses, 0);

    ASSERT_TRUE(manual.open(&videoWindow));
    window = manual.helpWindow();
    ASSERT_NE(window, nullptr);
    QTest::keyClick(window->findChild<QTextBrowser *>(), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
}
