#include "StillTestSupport.h"

#include "ui/StillSavePanel.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

using kelvo::ui::StillSavePanel;
using kelvo::video::test::runPostedWork;

namespace {

struct Ending {
    int calls = 0;
    int result = -1;
    QString path;
};

StillSavePanel::Completion recordInto(Ending &ending)
{
    return [&ending](int result, const QString &path) {
        ++ending.calls;
        ending.result = result;
        ending.path = path;
    };
}

TEST(StillSavePanel, DialogOffersPngAsUntitledOnTheVideoWindowOrOnItsOwn)
{
    QWidget videoWindow;
    videoWindow.show();
    struct Case {
        bool fullScreen;
        QWidget *parent;
        Qt::WindowModality modality;
    };
    const Case cases[] = {{false, &videoWindow, Qt::WindowModal}, {true, nullptr, Qt::ApplicationModal}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fullScreen);
        StillSavePanel panel(&videoWindow);
        Ending ending;
        panel.openSavePanel(c.fullScreen, recordInto(ending));
        QFileDialog *dialog = panel.savePanel();
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->parentWidget(), c.parent);
        EXPECT_EQ(dialog->windowModality(), c.modality);
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("png"));
        ASSERT_EQ(dialog->nameFilters().size(), 1);
        EXPECT_TRUE(dialog->nameFilters()[0].endsWith(QStringLiteral("(*.png)")));
        EXPECT_EQ(QFileInfo(dialog->selectedFiles().value(0)).fileName(), QStringLiteral("Untitled.png"));

        dialog->reject();
        EXPECT_EQ(ending.calls, 1);
        EXPECT_EQ(ending.result, 0);
        EXPECT_TRUE(ending.path.isEmpty());
        EXPECT_EQ(panel.savePanel(), nullptr);
        runPostedWork();
    }
}

TEST(StillSavePanel, ChosenFileEndsTheDialogWithOkAndItsPath)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Page.png"));
    StillSavePanel panel;
    panel.setDialogPresenter([path](QFileDialog *dialog, bool) {
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        dialog->selectFile(path);
        QMetaObject::invokeMethod(dialog, &QDialog::accept, Qt::QueuedConnection);
    });
    Ending ending;
    panel.openSavePanel(false, recordInto(ending));
    EXPECT_EQ(ending.calls, 0) << "the dialog ends later, not inside the call";
    runPostedWork();
    EXPECT_EQ(ending.calls, 1);
    EXPECT_EQ(ending.result, 1);
    EXPECT_EQ(ending.path, path);
}

TEST(StillSavePanel, FailureAlertNamesTheFileAndTheReason)
{
    QWidget videoWindow;
    StillSavePanel panel(&videoWindow);
    QString text, details;
    panel.setAlertPresenter([&](QMessageBox *alert) {
        text = alert->text();
        details = alert->informativeText();
        EXPECT_EQ(alert->icon(), QMessageBox::Warning);
        EXPECT_EQ(alert->parentWidget(), &videoWindow);
        alert->close();
    });
    panel.reportSaveFailure(QStringLiteral("/media/stick/Untitled.png"), QStringLiteral("No space left on device"));
    runPostedWork();
    EXPECT_FALSE(text.isEmpty());
    EXPECT_TRUE(details.contains(QStringLiteral("/media/stick/Untitled.png")));
    EXPECT_TRUE(details.contains(QStringLiteral("No space left on device")));
}

} // namespace
