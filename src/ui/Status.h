#pragma once

#include <QWidget>

namespace courivane {

class Status : public QWidget {
    Q_OBJECT
public:
    explicit Status(QWidget* parent = nullptr);
};

} // namespace courivane
