#pragma once

#include <QFrame>

class QLabel;
class QPushButton;

namespace kelvo::ui {

// A bar across the top of the picture that asks for something without
// blocking: large text, and two buttons the keyboard reaches with Tab. It
// keeps itself as wide as the view it lies on.
// Thread: main thread.
class AccessNoticeBar : public QFrame {
    Q_OBJECT
public:
    explicit AccessNoticeBar(QWidget *picture);

    void showText(const QString &text);
    // While the answer is being worked on, the buttons wait.
    void showWaiting(const QString &text);
    QString text() const;
    QPushButton *allowButton() const { return m_allow; }
    QPushButton *notNowButton() const { return m_notNow; }

signals:
    void allowClicked();
    void notNowClicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void present(const QString &text, bool waiting);
    void fitToPicture();

    QLabel *m_label;
    QPushButton *m_allow;
    QPushButton *m_notNow;
};

} // namespace kelvo::ui
