#pragma once

#include <QString>
#include <QStringList>

namespace courivane {

// Where the pictures and the sound are looked for, in order: beside the executable first, so
// that a user can replace them, then where the package puts them.
QStringList defaultAssetDirs();
// The first of the directories that holds the file, or the path in the first one.
QString assetPath(const QStringList& dirs, const QString& name);

} // namespace courivane
