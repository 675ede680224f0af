#include "ui/DiagnosticWindow.h"

#include "common/Localization.h"
#include "common/SystemLog.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>

#include <initializer_list>

namespace kelvo::ui {
namespace {

struct IndicatorEntry {
    const char *name;
    const char *title;
    std::initializer_list<long> codes;
};

constexpr IndicatorEntry kIndicators[] = {
    {"modeLevelIndicator", "Mode button", {0x83}},
    {"lightLevelIndicator", "Light button", {0x96, 0x97}},
    {"freezeLevelIndicator", "Freeze button", {0x80, 0x85, 0xA7, 0xAA}},
    {"findLevelIndicator", "Find button", {0x84}},
    {"rotateButtonLevelIndicator", "Rotate button", {0x81}},
    {"zoomInLevelIndicator", "Zoom in button", {0x86, 0x87, 0x88}},
    {"zoomOutLevelIndicator", "Zoom out button", {0x89, 0x8A, 0x8B}},
    {"rotateToSelfLevelIndicator", "Head turned to self", {0x8E}},
    {"rotateToDocumentLevelIndicator", "Head turned to document", {0x8C}},
    {"rotateToFarLevelIndicator", "Head turned to distance", {0x8D}},
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

DiagnosticWindow::DiagnosticWindow(QWidget *parent) : ViewerDialog(parent)
{
    setObjectName(QStringLiteral("diagnosticWindow"));
    setWindowTitle(localized("Camera Button Test"));
    auto *layout = new QFormLayout(this);
    for (const IndicatorEntry &entry : kIndicators) {
        auto *indicator = new QProgressBar(this);
        indicator->setObjectName(QString::fromLatin1(entry.name));
        // A count, not a fraction: the bar fills as presses add up and its
        // text says the number.
        indicator->setRange(0, 1000);
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

void DiagnosticWindow::handleButton(long code)
{
    for (const IndicatorEntry &entry : kIndicators) {
        for (long counted : entry.codes) {
            if (counted == code) {
                QProgressBar *bar = indicator(QString::fromLatin1(entry.name));
                bar->setValue(bar->value() + 1);
                return;
            }
        }
    }
    switch (code) {
    case 0x92:
        systemLog("Ignoring AC power change in diagnostic mode.\n");
        break;
    case 0x93:
        systemLog("Ignoring mode button hold in diagnostic mode.\n");
        break;
    case 0x94:
        systemLog("Ignoring factory reset sequence in diagnostic mode.\n");
        break;
    case 0x9B:
        systemLog("Ignoring find button release in diagnostic mode.\n");
        break;
    case 0x00:
        systemLog("Ignoring junk in diagnostic mode.\n");
        break;
    case 0xFF:
        systemLog("Ignoring diagnostic command in diagnostic mode.\n");
        break;
    default:
        break;
    }
}

void DiagnosticWindow::resetValues()
{
    for (QProgressBar *bar : m_indicators)
        bar->setValue(0);
}

void DiagnosticWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    ViewerDialog::keyPressEvent(event);
}

void DiagnosticWindow::closeEvent(QCloseEvent *event)
{
    ViewerDialog::closeEvent(event);
    emit closed();
}

} // namespace kelvo::ui
