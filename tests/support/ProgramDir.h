#pragma once

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

namespace courivane::testing {

// A temporary program directory, with the bitmaps and the sound the build drew copied in.
class ProgramDir {
public:
    explicit ProgramDir(const QStringList& assets = {"green.bmp", "red.bmp", "orange.bmp",
                                                     "white.bmp", "warning.wav"}) {
        const QDir bin(qEnvironmentVariable("COURIVANE_BIN"));
        for (const QString& name : assets)
            QFile::copy(bin.filePath(name), dir().filePath(name));
    }
    QDir dir() const { return QDir(m_tmp.path()); }
    QString path() const { return m_tmp.path(); }

private:
    QTemporaryDir m_tmp;
};

} // namespace courivane::testing
