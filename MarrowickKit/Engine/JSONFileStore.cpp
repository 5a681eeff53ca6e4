#include "MarrowickKit/Engine/JSONFileStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtDebug>

#include <functional>

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

QString quarantineName(const QString &quarantine, int n)
{
    return n == 1 ? quarantine : quarantine + QLatin1Char('-') + QString::number(n);
}

// False also where either cannot be read to its end.
bool holdSameBytes(const QString &one, const QString &other)
{
    QFile a(one);
    QFile b(other);
    if (a.size() != b.size() || !a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly))
        return false;
    constexpr qint64 blockSize = 64 * 1024;
    for (QByteArray block = a.read(blockSize); !block.isEmpty(); block = a.read(blockSize)) {
        if (block != b.read(blockSize))
            return false;
    }
    return a.error() == QFileDevice::NoError && b.error() == QFileDevice::NoError && b.atEnd();
}

// The copy of `file` already kept under one of the quarantine's names, if any.
std::optional<QString> earlierCopy(const QString &file, const QString &quarantine)
{
    for (int n = 1; n <= maximumSetAsideCopies && isTaken(quarantineName(quarantine, n)); ++n) {
        if (holdSameBytes(file, quarantineName(quarantine, n)))
            return quarantineName(quarantine, n);
    }
    return std::nullopt;
}

// Logs the problem for the user, and hands it on.
FileProblem told(const FileProblem &problem)
{
    qWarning().noquote() << problem.text();
    return problem;
}

// Its size against the cap, as the texts about a file over it put them.
QString oversizeText(qint64 size)
{
    return QStringLiteral("%1 bytes, over the limit of %2 bytes").arg(size).arg(JSONFileStore::maximumFileSize);
}

enum class Placed { done, taken, failed };

// Puts the file, through `place`, at `quarantine` or the first of `quarantine`-2, -3, ... that
// is free: an earlier copy is never replaced. `place` says whether it did, found the name taken
// meanwhile (the next is tried), or failed (then why, in its second argument). The name it
// used, or nothing and `reason`.
std::optional<QString> placeAtFreeName(const QString &quarantine, QString &reason,
                                       const std::function<Placed(const QString &, QString &)> &place)
{
    for (int n = 1; n <= maximumSetAsideCopies; ++n) {
        const QString name = quarantineName(quarantine, n);
        if (isTaken(name))
            continue;
        switch (place(name, reason)) {
        case Placed::done:
            return name;
        case Placed::taken:
            continue;
        case Placed::failed:
            return std::nullopt;
        }
    }
    reason = QStringLiteral("no free name to keep it under");
    return std::nullopt;
}

} // namespace

bool FileProblem::blocksSaving() const
{
    return kind == Kind::leftInPlace && isTaken(file);
}

QString FileProblem::text() const
{
    if (kind == Kind::setAside && oversize) {
        return QStringLiteral("%1 is too large (%2). Marrowick started without it and kept it as %3.")
            .arg(fileNameOf(file), oversizeText(*oversize), QDir::toNativeSeparators(copy));
    }
    if (kind == Kind::setAside) {
        return QStringLiteral("%1 was damaged. Marrowick started without it and kept it as %2.")
            .arg(fileNameOf(file), QDir::toNativeSeparators(copy));
    }
    if (kind == Kind::copiedAside) {
        return QStringLiteral("%1 was damaged. Marrowick read what it could and kept a copy as %2.")
            .arg(fileNameOf(file), QDir::toNativeSeparators(copy));
    }
    return QStringLiteral("%1 could not be read (%2). Marrowick started without it and leaves it untouched in %3.")
        .arg(fileNameOf(file), reason, folderOf(file));
}

QString FileProblem::savingRefusal() const
{
    return QStringLiteral("%1 could not be read at start and is not replaced; fix it and restart Marrowick")
        .arg(fileNameOf(file));
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

FileProblem setAside(const QString &file, const QString &quarantine, bool tooLarge)
{
    const std::optional<qint64> oversize = tooLarge ? std::optional(QFileInfo(file).size()) : std::nullopt;
    QString reason;
    const std::optional<QString> copy = placeAtFreeName(quarantine, reason, [&file](const QString &name, QString &why) {
        QFile moved(file);
        if (moved.rename(name))
            return Placed::done;
        why = moved.errorString();
        return isTaken(name) ? Placed::taken : Placed::failed;
    });
    if (!copy) {
        const QString what = oversize ? QStringLiteral("too large: %1;").arg(oversizeText(*oversize))
                                      : QStringLiteral("damaged, and");
        return leaveInPlace(file, QStringLiteral("%1 it could not be set aside: %2").arg(what, reason));
    }
    return told({FileProblem::Kind::setAside, file, *copy, QString(), oversize});
}

FileProblem copyAside(const QString &file, const QString &quarantine)
{
    if (const std::optional<QString> kept = earlierCopy(file, quarantine))
        return told({FileProblem::Kind::copiedAside, file, *kept, QString(), std::nullopt});
    QString reason;
    const std::optional<QString> copy = placeAtFreeName(quarantine, reason, [&file](const QString &name, QString &why) {
        try {
            return AtomicFile::copyToNewName(file, name) ? Placed::done : Placed::taken;
        } catch (const FileStoreError &error) {
            why = QString::fromUtf8(error.what());
            return Placed::failed;
        }
    });
    if (!copy)
        return leaveInPlace(file, QStringLiteral("damaged, and no copy of it could be kept: %1").arg(reason));
    return told({FileProblem::Kind::copiedAside, file, *copy, QString(), std::nullopt});
}

FileProblem leaveInPlace(const QString &file, const QString &reason)
{
    return told({FileProblem::Kind::leftInPlace, file, QString(), reason, std::nullopt});
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
