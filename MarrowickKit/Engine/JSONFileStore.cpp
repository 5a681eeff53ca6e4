#include "MarrowickKit/Engine/JSONFileStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace marrowick::JSONFileStore {

namespace {

[[noreturn]] void fail(const QString &message)
{
    throw FileStoreError(message.toStdString());
}

} // namespace

bool holdsFile(const QString &file)
{
    return QFileInfo(file).isFile();
}

std::optional<QByteArray> readCapped(const QString &file)
{
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = input.read(maximumFileSize + 1);
    // An empty result is an error only when the device says so (a folder, an I/O fault).
    if (input.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

void moveToQuarantine(const QString &file, const QString &quarantine)
{
    QFile::remove(quarantine);
    QFile::rename(file, quarantine);
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
    if (output.write(bytes) != bytes.size()) {
        const QString reason = output.errorString();
        output.cancelWriting();
        fail(QStringLiteral("Could not save \"%1\": %2").arg(file, reason));
    }
    if (!output.commit())
        fail(QStringLiteral("Could not save \"%1\": %2").arg(file, output.errorString()));
}

} // namespace marrowick::JSONFileStore
