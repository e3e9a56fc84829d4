#pragma once

#include <QString>

namespace courivane {

// What decides where the two files live.
struct ConfigPlaceInput {
    QString configDirOption; // --config-dir, empty when not given
    QString programDir;      // the directory of the executable
    QString xdgConfigHome;   // $XDG_CONFIG_HOME, empty when unset
    QString home;            // the user's home directory
};

// --config-dir wins; otherwise the executable's own directory when either file is there (a
// portable install, and every setup from before); otherwise $XDG_CONFIG_HOME/courivane, by
// default ~/.config/courivane.
QString configDirectory(const ConfigPlaceInput& in);

// The same for this process: its executable, its environment and its home.
QString configDirectoryOf(const QString& configDirOption);

} // namespace courivane
