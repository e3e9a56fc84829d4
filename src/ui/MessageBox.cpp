#include "ui/MessageBox.h"

#include "ui/Titles.h"

#include <QMessageBox>

namespace courivane {

namespace {
MessageHandler& handler() {
    static MessageHandler current;
    return current;
}
QuestionHandler& questionHandler() {
    static QuestionHandler current;
    return current;
}
} // namespace

void setQuestionHandler(QuestionHandler h) {
    questionHandler() = std::move(h);
}

bool askQuestion(QWidget* parent, const QString& text) {
    if (questionHandler())
        return questionHandler()(parent, text);
    return QMessageBox::question(parent, kApplicationTitle, text,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

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
