#include "ui/Status.h"

namespace courivane {

Status::Status(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Status"));
}

} // namespace courivane
