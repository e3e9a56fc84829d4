#include "ui/Status.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    courivane::Status panel;
    panel.show();
    return app.exec();
}
