#include "ui/DiagnosticWindow.h"

#include "common/Localization.h"

#include <QFormLayout>
#include <QLabel>
#include <QProgressBar>

namespace kelvo::ui {
namespace {

struct IndicatorEntry {
    const char *name;
    const char *title;
};

constexpr IndicatorEntry kIndicators[] = {
    {"modeLevelIndicator", "Mode button"},
    {"lightLevelIndicator", "Light button"},
    {"freezeLevelIndicator", "Freeze button"},
    {"findLevelIndicator", "Find button"},
    {"rotateButtonLevelIndicator", "Rotate button"},
    {"zoomInLevelIndicator", "Zoom in button"},
    {"zoomOutLevelIndicator", "Zoom out button"},
    {"rotateToSelfLevelIndicator", "Head turned to self"},
    {"rotateToDocumentLevelIndicator", "Head turned to document"},
    {"rotateToFarLevelIndicator", "Head turned to distance"},
};

} // namespace

const QStringList &DiagnosticWindow::indicatorNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (const IndicatorEntry &entry : kIndicators)
            list << QString::fromLatin1(entry.name);
        return list;
    }();
    return names;
}

DiagnosticWindow::DiagnosticWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("diagnosticWindow"));
    setWindowTitle(localized("Camera Button Test"));
    auto *layout = new QFormLayout(this);
    for (const IndicatorEntry &entry : kIndicators) {
        auto *indicator = new QProgressBar(this);
        indicator->setObjectName(QString::fromLatin1(entry.name));
        // A count, not a fraction: the bar fills as presses add up and its
        // text says the number.
        indicator->setRange(0, 10);
        indicator->setFormat(QStringLiteral("%v"));
        indicator->setValue(0);
        indicator->setAccessibleName(localized(entry.title));
        auto *label = new QLabel(localized(entry.title), this);
        label->setBuddy(indicator);
        layout->addRow(label, indicator);
        m_indicators << indicator;
    }
}

QProgressBar *DiagnosticWindow::indicator(const QString &name) const
{
    for (QProgressBar *indicator : m_indicators) {
        if (indicator->objectName() == name)
            return indicator;
    }
    return nullptr;
}

} // namespace kelvo::ui
