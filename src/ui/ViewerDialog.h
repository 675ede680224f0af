#pragma once

#include <QDialog>

namespace kelvo::ui {

// A secondary window of the viewer: a dialog to the screen reader, named by
// its title, that closes with Escape as its close button would (so that what
// closing does, such as committing choices, always happens).
// Thread: main thread.
class ViewerDialog : public QDialog {
    Q_OBJECT
public:
    explicit ViewerDialog(QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

} // namespace kelvo::ui
