#include "polling/PassOptions.h"

#include "polling/FetchSecurity.h"
#include "polling/PollCycle.h"

namespace courivane {

QCommandLineOption configDirOption() {
    return QCommandLineOption(
        QStringLiteral("config-dir"),
        QStringLiteral("Directory holding Proxy.Txt and CompUserNames.Txt (default: the "
                       "directory of this program when either file is there, otherwise "
                       "$XDG_CONFIG_HOME/courivane)."),
        QStringLiteral("DIR"));
}

void useQtDispatcher() {
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
}

void PassOptions::applyTo(PollCycle& cycle) const {
    cycle.setParallel(parallel);
    cycle.setStaleAfterMinutes(staleAfterMinutes);
    if (passwords)
        cycle.setPasswordStore(passwords.get());
}

PassCommandLine::PassCommandLine(bool takesPasswordFile)
    : parallel(QStringLiteral("parallel"),
               QStringLiteral("Fetches under way at once, 1 to %1 (default %2); at most 4 to one "
                              "server. 1 asks one account after the other.")
                   .arg(PollCycle::kMaxParallel)
                   .arg(PollCycle::kDefaultParallel),
               QStringLiteral("N"), QString::number(PollCycle::kDefaultParallel)),
      staleAfter(QStringLiteral("stale-after"),
                 QStringLiteral("A status whose last update is older than this many minutes (or "
                                "more than 5 ahead) is a warning, 0 to %1 (default %2; 0 turns "
                                "the rule off).")
                     .arg(kMaxStaleAfterMinutes)
                     .arg(kDefaultStaleAfterMinutes),
                 QStringLiteral("MINUTES"), QString::number(kDefaultStaleAfterMinutes)),
      passwordFile(QStringLiteral("password-file"),
                   QStringLiteral("Passwords for servers that ask for Basic authentication, "
                                  "lines server<TAB>user<TAB>password with the server as the "
                                  "accounts list writes it; sent over https:// only. Read only "
                                  "when no one but its owner may read it (chmod 600)."),
                   QStringLiteral("FILE")),
      takesPasswordFile(takesPasswordFile) {}

void PassCommandLine::addTo(QCommandLineParser& parser) const {
    parser.addOptions({parallel, staleAfter});
    if (takesPasswordFile)
        parser.addOption(passwordFile);
}

std::variant<PassOptions, QString> PassCommandLine::read(const QCommandLineParser& parser) const {
    const auto fetches = parseWholeNumber(parser.value(parallel), 1, PollCycle::kMaxParallel);
    if (!fetches)
        return QStringLiteral("--parallel takes a whole number from 1 to %1")
            .arg(PollCycle::kMaxParallel);
    const auto minutes = parseWholeNumber(parser.value(staleAfter), 0, kMaxStaleAfterMinutes);
    if (!minutes)
        return QStringLiteral("--stale-after takes a whole number of minutes from 0 to %1")
            .arg(kMaxStaleAfterMinutes);
    PassOptions options{*fetches, *minutes, nullptr};
    if (takesPasswordFile && parser.isSet(passwordFile)) {
        PasswordFileRead read = readPasswordFile(parser.value(passwordFile));
        if (!read.problem.isEmpty())
            return QStringLiteral("--password-file: ") + read.problem;
        options.passwords = std::make_shared<MemoryPasswordStore>(std::move(read.store));
    }
    return options;
}

} // namespace courivane
