#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace courivane {

// Every message box of the program goes through here; a test installs a handler that records
// the text instead of blocking.
using MessageHandler = std::function<void(QWidget* parent, const QString& text)>;
void setMessageHandler(MessageHandler handler);
void showMessage(QWidget* parent, const QString& text);

// A Yes/No question; true for Yes. Tests pre-answer it the same way.
using QuestionHandler = std::function<bool(QWidget* parent, const QString& text)>;
void setQuestionHandler(QuestionHandler handler);
bool askQuestion(QWidget* parent, const QString& text);

} // namespace courivane
