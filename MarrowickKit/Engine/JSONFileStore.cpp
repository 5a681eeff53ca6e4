#include "MarrowickKit/Engine/JSONFileStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStorageInfo>
#include <QtDebug>

namespace marrowick {

namespace {

// Enough for every damage a user could meet; past it the file stays where it is.
constexpr int maximumSetAsideCopies = 1000;

[[noreturn]] void fail(const QString &message)
{
    throw FileStoreError(message.toStdString());
}

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

// Writes everything through to the file; an empty text when all of it arrived, else why not.
// QSaveFile buffers small writes and commit() does not report a failed final flush, so a full
// disk would otherwise switch in an empty or cut file and call it saved.
QString writeThrough(QSaveFile &output, const QByteArray &bytes)
{
    const qint64 written = output.write(bytes);
    if (written != bytes.size() || !output.flush() || output.error() != QFileDevice::NoError) {
        // A write cut short (at the file-size limit, on a full disk) sets no reason; the next
        // attempt at the rest fails with one.
        if (written > 0 && written < bytes.size())
            output.write(bytes.constData() + written, bytes.size() - written);
        output.flush();
        return output.errorString();
    }
    if (output.size() != bytes.size())
        return QStringLiteral("only %1 of %2 bytes were written").arg(output.size()).arg(bytes.size());
    return QString();
}

// A short write leaves no system error behind, so a full disk is named from its free space.
QString writeFailure(const QString &reported, const QString &folder, qint64 needed)
{
    const QStorageInfo disk(folder);
    if (disk.isValid() && disk.bytesAvailable() < needed)
        return QStringLiteral("No space left on device");
    return reported;
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
        fail(QStringLiteral("Could not save \"%1\": %2 bytes exceed the limit of %3 bytes.")
                 .arg(file)
                 .arg(bytes.size())
                 .arg(maximumFileSize));
    }
    const QString folder = QFileInfo(file).absolutePath();
    if (!QDir().mkpath(folder))
        fail(QStringLiteral("Could not create the folder \"%1\".").arg(folder));

    QSaveFile output(file);
    if (!output.open(QIODevice::WriteOnly))
        fail(QStringLiteral("Could not save \"%1\": %2").arg(file, output.errorString()));
    // Sources name servers and accounts, the history says when they were down: ours alone.
    QString failure = output.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
                          ? writeThrough(output, bytes)
                          : output.errorString();
    if (!failure.isEmpty()) {
        output.cancelWriting();
        fail(QStringLiteral("Could not save \"%1\": %2").arg(file, writeFailure(failure, folder, bytes.size())));
    }
    if (!output.commit())
        fail(QStringLiteral("Could not save \"%1\": %2").arg(file, output.errorString()));
}

void removeLeftoverTemporaries(const QString &file)
{
    // QSaveFile writes to the name followed by "." and six random letters, then renames. Six
    // lower-case letters are more likely a copy the user made ("history.json.backup"): kept.
    const QFileInfo target(file);
    const QRegularExpression temporary(QLatin1Char('^') + QRegularExpression::escape(target.fileName()) +
                                       QStringLiteral("\\.(?=[a-z]*[A-Z])[A-Za-z]{6}$"));
    const QDir folder = target.absoluteDir();
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        if (!temporary.match(name).hasMatch())
            continue;
        if (!QFile::remove(folder.filePath(name)))
            qWarning().noquote() << QStringLiteral("Could not remove the leftover %1.").arg(folder.filePath(name));
    }
}

} // namespace JSONFileStore

} // namespace marrowick
