#include "ui/Twips.h"

#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
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
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order.at(i - 1), order.at(i));
    const QSize designed(pixelsFromTwips(widthTwips), pixelsFromTwips(heightTwips));
    const QScreen* screen = QGuiApplication::primaryScreen();
    // Room for the window manager's frame and title around it.
    const QSize room = screen ? screen->availableGeometry().size() - QSize(16, 48) : designed;
    if (designed.width() <= room.width() && designed.height() <= room.height()) {
        dialog->setFixedSize(designed);
        return;
    }
    // Larger than the screen (a high scale on a small one): the controls keep their designed
    // places in a pane that scrolls, and the dialog fits the screen.
    auto* pane = new QWidget;
    pane->setObjectName(QStringLiteral("pane"));
    for (QWidget* child : dialog->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        const bool hidden =
            child->isHidden() && child->testAttribute(Qt::WA_WState_ExplicitShowHide);
        child->setParent(pane);
        child->setHidden(hidden);
    }
    pane->setFixedSize(designed);
    auto* area = new QScrollArea(dialog);
    area->setObjectName(QStringLiteral("paneArea"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidget(pane);
    const QSize fitted = designed.boundedTo(room);
    area->setGeometry(QRect(QPoint(0, 0), fitted));
    dialog->setFixedSize(fitted);
}

} // namespace courivane
