#include "ui/Twips.h"

#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace courivane {

void placeTwips(QWidget* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(pixelsFromTwips(left), pixelsFromTwips(top), pixelsFromTwips(width),
                        pixelsFromTwips(height));
}

void centreOnScreen(QWidget* window) {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window->move(screen->availableGeometry().center() - window->rect().center());
}

void setUpDialog(QWidget* dialog, const QString& name, int widthTwips, int heightTwips,
                 const QList<QWidget*>& order) {
    dialog->setObjectName(name);
    dialog->setWindowTitle(name);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(9.75);
    dialog->setFont(font);
    dialog->setFixedSize(pixelsFromTwips(widthTwips), pixelsFromTwips(heightTwips));
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order.at(i - 1), order.at(i));
}

} // namespace courivane
