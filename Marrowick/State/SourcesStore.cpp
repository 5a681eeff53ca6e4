#include "Marrowick/State/SourcesStore.h"

#include "MarrowickKit/Engine/AtomicFile.h"
#include "MarrowickKit/Engine/JSONFileStore.h"
#include "MarrowickKit/Model/JsonWriter.h"
#include "MarrowickKit/Model/UuidText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

namespace marrowick {

SourcesFileError::SourcesFileError(Kind kind, const QString &text)
    : std::runtime_error(text.toStdString()), m_kind(kind)
{
}

namespace SourcesStore {

namespace {

QByteArray readAtMostBeyondLimit(const QString &file)
{
    // Opening a pipe would wait for a writer and freeze the application; a folder holds no
    // sources. A missing file goes on to open, which says so.
    const QFileInfo info(file);
    if (info.exists() && !info.isFile())
        throw SourcesFileError(SourcesFileError::Kind::cannotOpen,
                               QStringLiteral("The file could not be opened: it is not a regular file."));
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly))
        throw SourcesFileError(SourcesFileError::Kind::cannotOpen,
                               QStringLiteral("The file could not be opened: %1").arg(input.errorString()));
    // One byte past the limit tells an oversized file from one that just fits.
    QByteArray bytes = input.read(importLimit + 1);
    if (input.error() != QFileDevice::NoError)
        throw SourcesFileError(SourcesFileError::Kind::readFailed,
                               QStringLiteral("The file could not be read: %1").arg(input.errorString()));
    return bytes;
}

QString freshReference(const AnySourceConfig &source, const QUuid &id)
{
    return source.typeID() + QLatin1Char('-') + uuidText(id);
}

} // namespace

QString fileName() { return QStringLiteral("sources.json"); }
QString quarantineName() { return QStringLiteral("sources.json.corrupt"); }

QString defaultDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Marrowick");
}

QList<AnySourceConfig> load(const QString &directory, std::optional<FileProblem> *problem)
{
    const QDir folder(directory);
    return JSONFileStore::load(folder.filePath(fileName()), folder.filePath(quarantineName()), sourcesFromJson, problem)
        .value_or(QList<AnySourceConfig>());
}

void removeLeftoverTemporaries(const QString &directory)
{
    AtomicFile::removeLeftoverTemporaries(QDir(directory).filePath(fileName()));
}

QByteArray encode(const QList<AnySourceConfig> &sources)
{
    return writeJson(sourcesToJson(sources), JsonStyle::pretty);
}

QString sizeRefusal(const QByteArray &encoded)
{
    if (encoded.size() <= JSONFileStore::maximumFileSize)
        return QString();
    return QStringLiteral("Your sources would then need a sources file of %1 bytes, over the limit of %2 bytes, so "
                          "they could not be saved. Nothing was changed.")
        .arg(encoded.size())
        .arg(JSONFileStore::maximumFileSize);
}

void save(const QList<AnySourceConfig> &sources, const QString &directory)
{
    saveEncoded(encode(sources), directory);
}

void saveEncoded(const QByteArray &encoded, const QString &directory)
{
    JSONFileStore::save(encoded, QDir(directory).filePath(fileName()));
}

QList<AnySourceConfig> importSources(const QString &file)
{
    const QByteArray bytes = readAtMostBeyondLimit(file);
    if (bytes.size() > importLimit)
        throw SourcesFileError(SourcesFileError::Kind::tooLarge,
                               QStringLiteral("The file is larger than 8 MiB."));
    QList<AnySourceConfig> imported;
    for (const AnySourceConfig &source : uniqueByID(sourcesFromJson(parseJsonDocument(bytes))))
        imported.append(withFreshIdentity(source));
    return imported;
}

QList<AnySourceConfig> uniqueByID(const QList<AnySourceConfig> &sources)
{
    QSet<QUuid> seen;
    QList<AnySourceConfig> unique;
    for (const AnySourceConfig &source : sources) {
        if (seen.contains(source.id()))
            continue;
        seen.insert(source.id());
        unique.append(source);
    }
    return unique;
}

AnySourceConfig withFreshIdentity(const AnySourceConfig &source)
{
    const QUuid id = QUuid::createUuid();
    const QString reference = freshReference(source, id);
    return std::visit(
        [&](auto config) -> AnySourceConfig {
            using Config = decltype(config);
            config.id = id;
            if constexpr (std::is_same_v<Config, KumaConfig>) {
                if (config.passwordRef)
                    config.passwordRef = reference;
            } else if constexpr (std::is_same_v<Config, BeszelConfig>) {
                config.tokenRef = reference;
            } else if constexpr (std::is_same_v<Config, GameServerConfig>) {
                if (config.credentialRef)
                    config.credentialRef = reference;
            } else if constexpr (std::is_same_v<Config, JSONWidgetConfig>) {
                if (config.bearerTokenRef)
                    config.bearerTokenRef = reference;
            }
            return config;
        },
        source.value());
}

} // namespace SourcesStore

} // namespace marrowick
