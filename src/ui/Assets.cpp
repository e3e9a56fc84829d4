#include "ui/Assets.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace courivane {

QStringList defaultAssetDirs() {
    return {QCoreApplication::applicationDirPath(), QStringLiteral(COURIVANE_SHARED_DATA_DIR)};
}

QString assetPath(const QStringList& dirs, const QString& name) {
    for (const QString& dir : dirs) {
        const QString path = QDir(dir).filePath(name);
        if (QFileInfo::exists(path))
            return path;
    }
    return dirs.isEmpty() ? name : QDir(dirs.first()).filePath(name);
}

} // namespace courivane
