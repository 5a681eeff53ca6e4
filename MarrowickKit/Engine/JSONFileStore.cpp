#include "MarrowickKit/Engine/JSONFileStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtDebug>

namespace marrowick {

namespace {

// Enough for every damage a user could meet; past it the file stays where it is.
constexpr int maximumSetAsideCopies = 1000;

QString fileNameOf(const QString &file)
{
    return QFileInfo(file).fileName();
}

QString folderOf(const QString &file)
{
    return QDir::toNativeSeparators(QFileInfo(file).absolutePath());
}

bool isTaken(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

bool FileProblem::blocksSaving() const
{
    return kind == Kind::leftInPlace && isTaken(file);
}

QString FileProblem::text() const
{
    if (kind == Kind::setAside) {
        return QStringLiteral("%1 was damaged. Marrowick started without it and kept it as %2.")
            .arg(fileNameOf(file), QDir::toNativeSeparators(copy));
    }
    return QStringLiteral("%1 could not be read (%2). Marrowick started without it and leaves it untouched in %3.")
        .arg(fileNameOf(file), reason, folderOf(file));
}

namespace JSONFileStore {

bool holdsFile(const QString &file)
{
    return QFileInfo(file).isFile();
}

std::optional<QByteArray> readCapped(const QString &file, QString *error)
{
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly)) {
        if (error)
            *error = input.errorString();
        return std::nullopt;
    }
    QByteArray bytes = input.read(maximumFileSize + 1);
    // An empty result is an error only when the device says so (a folder, an I/O fault).
    if (input.error() != QFileDevice::NoError) {
        if (error)
            *error = input.errorString();
        return std::nullopt;
    }
    return bytes;
}

FileProblem setAside(const QString &file, const QString &quarantine)
{
    QString reason;
    for (int n = 1; n <= maximumSetAsideCopies; ++n) {
        const QString copy = n == 1 ? quarantine : quarantine + QLatin1Char('-') + QString::number(n);
        if (isTaken(copy))
            continue;
        QFile moved(file);
        if (moved.rename(copy)) {
            const FileProblem problem{FileProblem::Kind::setAside, file, copy, QString()};
            qWarning().noquote() << problem.text();
            return problem;
        }
        reason = moved.errorString();
        // Taken meanwhile: the next name. Anything else would fail again.
        if (!isTaken(copy))
            break;
    }
    if (reason.isEmpty())
        reason = QStringLiteral("no free name to set it aside under");
    return leaveInPlace(file, QStringLiteral("damaged, and it could not be set aside: %1").arg(reason));
}

FileProblem leaveInPlace(const QString &file, const QString &reason)
{
    const FileProblem problem{FileProblem::Kind::leftInPlace, file, QString(), reason};
    qWarning().noquote() << problem.text();
    return problem;
}

void save(const QByteArray &bytes, const QString &file)
{
    if (bytes.size() > maximumFileSize) {
        throw FileStoreError(QStringLiteral("Could not save \"%1\": %2 bytes exceed the limit of %3 bytes.")
                                 .arg(file)
                                 .arg(bytes.size())
                                 .arg(maximumFileSize)
                                 .toStdString());
    }
    AtomicFile::write(bytes, file);
}

} // namespace JSONFileStore

} // namespace marrowick
