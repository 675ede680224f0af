#pragma once

#include "device/OSDKeyReceiver.h"

#include <QListWidget>
#include <QStringList>

namespace kelvo::ui {

// What the on-screen menu's list asks of its owner when a key arrives.
// Thread: main thread.
class TableViewMenuDelegate {
public:
    virtual ~TableViewMenuDelegate() = default;
    virtual bool OSDIsVisible() const = 0;
    virtual bool showingOSDAboutBox() const = 0;
    virtual void performOSDCommand(int row) = 0;
    virtual void hideOSDAboutBox() = 0;
    virtual void hideOnScreenDisplay() = 0;
};

// The list of the on-screen menu, driven by the arrow, Return and Escape
// keys, and by the camera's buttons as synthesised Up, Down and Return. It
// is read by people who cannot read the menu bar: its text is at least three
// times the desktop's size, white on an opaque dark ground, and the selected
// row is dark text on a light bar, whatever colour mode the picture behind
// it is shown in.
// Thread: main thread.
class TableViewMenu : public QListWidget, public device::OSDKeyReceiver {
    Q_OBJECT
public:
    explicit TableViewMenu(QWidget *parent = nullptr);

    void setMenuDelegate(TableViewMenuDelegate *delegate) { m_delegate = delegate; }

    // Replaces the rows' texts, keeping the selected row.
    void setRows(const QStringList &texts);
    // The camera's buttons, as synthesised key-downs (Return, Up, Down).
    void keyDown(const device::SyntheticKeyEvent &event) override;
    // Up, Down, Return, Enter or Escape; answers whether the key was the
    // menu's. Nothing happens while the menu is hidden.
    bool handleKey(int qtKey);
    // Selects nothing, then the same row again, so that a screen reader
    // announces the selected row afresh.
    void respeakSelection();
    int selectedRow() const;
    // The fill drawn behind the selected row.
    static QColor highlightColour();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void selectRow(int row);

    TableViewMenuDelegate *m_delegate = nullptr;
};

} // namespace kelvo::ui
