#include "ui/MessageBox.h"

#include <QMessageBox>

namespace courivane {

namespace {
MessageHandler& handler() {
    static MessageHandler current;
    return current;
}
} // namespace

void setMessageHandler(MessageHandler h) {
    handler() = std::move(h);
}

void showMessage(QWidget* parent, const QString& text) {
    if (handler()) {
        handler()(parent, text);
        return;
    }
    QMessageBox::information(parent, kApplicationTitle, text, QMessageBox::Ok);
}

} // namespace courivane
