#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QToolButton;

namespace courivane {

// The summary window's find box, how many rows it leaves, and the way back to the file's order.
class FindBar : public QWidget {
    Q_OBJECT
public:
    explicit FindBar(QWidget* parent = nullptr);

    QString text() const;
    // Focuses the box, its text selected (Ctrl+F).
    void focusFind();
    // "12 of 306" while the box narrows the rows; nothing otherwise.
    void showCount(int shown, int total);
    // Whether the rows stand in another order than the file's.
    void setSorted(bool sorted);

signals:
    void findChanged(const QString& text);
    void fileOrderRequested();
    void longestTroubleRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* const m_find;
    QLabel* const m_count;
    QToolButton* const m_fileOrder;
    QToolButton* const m_longest;
};

} // namespace courivane
