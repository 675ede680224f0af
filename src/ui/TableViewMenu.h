#pragma once

#include <QListWidget>

namespace kelvo::ui {

// The list of the on-screen menu, driven by the camera's buttons as Up, Down
// and Return key presses.
class TableViewMenu : public QListWidget {
    Q_OBJECT
public:
    explicit TableViewMenu(QWidget *parent = nullptr) : QListWidget(parent) {}
};

} // namespace kelvo::ui
