#include "ui/TableViewMenu.h"

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace kelvo::ui {
namespace {

// The rows are wider than the panel at their size: a row wraps rather than
// losing its end, which says the setting's state.
constexpr double kFontScale = 3.0;

// Draws a row: the selection only by the list's own bar, never by the
// style's highlight, which may be a colour the picture's mode makes vanish.
class HUDCell final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        painter->save();
        if (selected)
            painter->fillRect(option.rect, TableViewMenu::highlightColour());
        painter->setFont(option.font);
        painter->setPen(selected ? Qt::black : Qt::white);
        const QRect text = option.rect.adjusted(option.fontMetrics.averageCharWidth(), 0, -4, 0);
        painter->drawText(text, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextWordWrap, index.data().toString());
        painter->restore();
    }
};

} // namespace

TableViewMenu::TableViewMenu(QWidget *parent) : QListWidget(parent)
{
    setItemDelegate(new HUDCell(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(true);
    setUniformItemSizes(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    QFont large = QApplication::font();
    if (large.pointSizeF() > 0)
        large.setPointSizeF(large.pointSizeF() * kFontScale);
    else
        large.setPixelSize(large.pixelSize() * int(kFontScale));
    large.setBold(true);
    setFont(large);
    QPalette dark = palette();
    dark.setColor(QPalette::Base, QColor(0, 0, 0, 235));
    dark.setColor(QPalette::Window, QColor(0, 0, 0, 235));
    dark.setColor(QPalette::Text, Qt::white);
    setPalette(dark);
    viewport()->setAutoFillBackground(true);
}

QColor TableViewMenu::highlightColour()
{
    return QColor::fromRgbF(0.9f, 0.9f, 0.9f, 0.6f);
}

void TableViewMenu::setRows(const QStringList &texts)
{
    const int selected = selectedRow();
    // Replacing the texts in place keeps the screen reader's idea of the
    // rows; only a change of count rebuilds them.
    if (count() != texts.size()) {
        clear();
        addItems(texts);
    } else {
        for (int row = 0; row < texts.size(); ++row)
            item(row)->setText(texts[row]);
    }
    if (selected >= 0 && selected < count())
        selectRow(selected);
}

int TableViewMenu::selectedRow() const
{
    const QList<QListWidgetItem *> items = selectedItems();
    return items.isEmpty() ? -1 : row(items.first());
}

void TableViewMenu::selectRow(int row)
{
    setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    if (QListWidgetItem *selected = item(row))
        scrollToItem(selected);
}

void TableViewMenu::keyDown(const device::SyntheticKeyEvent &event)
{
    handleKey(event.qtKey);
}

bool TableViewMenu::handleKey(int qtKey)
{
    if (!m_delegate)
        return false;
    switch (qtKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Up:
    case Qt::Key_Down:
        break;
    default:
        return false;
    }
    // A key for a hidden menu is dropped, but it was the menu's.
    if (!m_delegate->OSDIsVisible())
        return true;
    const int selected = selectedRow();
    switch (qtKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (selected < 0)
            return true;
        m_delegate->performOSDCommand(selected);
        respeakSelection();
        return true;
    case Qt::Key_Escape:
        if (m_delegate->showingOSDAboutBox())
            m_delegate->hideOSDAboutBox();
        else
            m_delegate->hideOnScreenDisplay();
        return true;
    case Qt::Key_Down:
        selectRow(std::min(selected + 1, count() - 1));
        break;
    case Qt::Key_Up:
        if (selected > 0)
            selectRow(selected - 1);
        else if (selected < 0 && count() > 0)
            selectRow(0);
        break;
    }
    if (m_delegate->showingOSDAboutBox())
        m_delegate->hideOSDAboutBox();
    return true;
}

void TableViewMenu::respeakSelection()
{
    const int selected = selectedRow();
    clearSelection();
    if (selected < 0)
        return;
    selectRow(selected);
    // The list announces a change of its current row only when it has the
    // focus and the row differs; an unchanged row is announced here.
    if (QAccessible::isActive()) {
        QAccessibleEvent focus(this, QAccessible::Focus);
        focus.setChild(selected);
        QAccessible::updateAccessibility(&focus);
        QAccessibleEvent selection(this, QAccessible::Selection);
        selection.setChild(selected);
        QAccessible::updateAccessibility(&selection);
    }
}

void TableViewMenu::keyPressEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (modifiers == Qt::NoModifier && handleKey(event->key())) {
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void TableViewMenu::wheelEvent(QWheelEvent *event)
{
    // The list shows all its rows; a wheel would only move them away.
    event->ignore();
}

} // namespace kelvo::ui
