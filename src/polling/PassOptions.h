#pragma once

#include "polling/PollCycle.h"
#include "polling/ReplyInterpreter.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>

#include <memory>
#include <variant>

namespace courivane {

class MemoryPasswordStore;

// What both programs let the command line set for a pass; by default what they use without it.
struct PassOptions {
    int parallel = PollCycle::kDefaultParallel;
    int staleAfterMinutes = kDefaultStaleAfterMinutes;
    // From --password-file; none without it.
    std::shared_ptr<MemoryPasswordStore> passwords;
    void applyTo(PollCycle& cycle) const;
};

// --config-dir as the programs without a display take it.
QCommandLineOption configDirOption();
// Before the application object of a program without a display: nothing there needs glib's
// main loop, and Qt's own dispatcher costs a third fewer system calls a fetch.
void useQtDispatcher();

// --parallel, --stale-after and --password-file, as both programs take them.
struct PassCommandLine {
    // The monitor keeps passwords in the desktop's keyring and takes no password file.
    explicit PassCommandLine(bool takesPasswordFile = true);
    void addTo(QCommandLineParser& parser) const;
    // The values, or the text of the usage error.
    std::variant<PassOptions, QString> read(const QCommandLineParser& parser) const;

    QCommandLineOption parallel;
    QCommandLineOption staleAfter;
    QCommandLineOption passwordFile;
    bool takesPasswordFile;
};

} // namespace courivane
