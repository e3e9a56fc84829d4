#include "config/ConfigPlace.h"

#include "config/AccountsFile.h"
#include "config/OptionsFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace courivane {

QString configDirectory(const ConfigPlaceInput& in) {
    if (!in.configDirOption.isEmpty())
        return in.configDirOption;
    const QDir program(in.programDir);
    if (QFileInfo::exists(program.filePath(kOptionsFileName)) ||
        QFileInfo::exists(program.filePath(kAccountsFileName)))
        return in.programDir;
    // XDG base directories are absolute paths: a relative $XDG_CONFIG_HOME is ignored.
    const QString base = QDir::isAbsolutePath(in.xdgConfigHome)
                             ? in.xdgConfigHome
                             : QDir(in.home).filePath(QStringLiteral(".config"));
    return QDir(base).filePath(QStringLiteral("courivane"));
}

QString configDirectoryOf(const QString& configDirOption) {
    return configDirectory({configDirOption, QCoreApplication::applicationDirPath(),
                            qEnvironmentVariable("XDG_CONFIG_HOME"), QDir::homePath()});
}

} // namespace courivane
