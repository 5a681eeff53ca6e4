#include "MarrowickKit/Engine/AlertMarksStore.h"

#include "MarrowickKit/Engine/AtomicFile.h"
#include "MarrowickKit/Engine/StoredClock.h"
#include "MarrowickKit/Model/JsonReading.h"
#include "MarrowickKit/Model/JsonWriter.h"
#include "MarrowickKit/Model/UuidText.h"

#include <QDir>
#include <QJsonArray>

namespace marrowick::AlertMarksStore {

namespace {

const QString marksKey = QStringLiteral("marks");
const QString sourceKey = QStringLiteral("source");
const QString widgetKey = QStringLiteral("widget");
const QString sinceKey = QStringLiteral("since");
const QString announcedKey = QStringLiteral("announced");

QJsonObject toJson(const DownMark &mark)
{
    QJsonObject json{
        {sourceKey, uuidText(mark.sourceID)},
        {sinceKey, StoredClock::toJson(mark.since)},
        {announcedKey, mark.announced},
    };
    if (!mark.widgetID.isEmpty())
        json.insert(widgetKey, mark.widgetID);
    return json;
}

DownMark fromJson(const QJsonValue &json, const QString &path, bool sameBoot)
{
    const JsonObjectReader reader(json, path);
    DownMark mark;
    mark.sourceID = reader.uuid(sourceKey);
    if (const std::optional<QString> widget = reader.optionalString(widgetKey)) {
        if (widget->isEmpty())
            throw JsonDecodeError(QStringLiteral("Expected a widget id at %1.").arg(reader.pathOf(widgetKey)), reader.pathOf(widgetKey));
        mark.widgetID = *widget;
    }
    mark.since = StoredClock::fromJson(reader.required(sinceKey), reader.pathOf(sinceKey), sameBoot);
    mark.announced = reader.boolean(announcedKey);
    return mark;
}

} // namespace

QString fileName()
{
    return QStringLiteral("alerts.json");
}

QString quarantineName()
{
    return QStringLiteral("alerts.json.corrupt");
}

QList<DownMark> load(const QString &directory, const QString &bootID, std::optional<FileProblem> *problem)
{
    const QDir folder(directory);
    const auto decode = [&bootID](const QJsonValue &json) {
        const JsonObjectReader reader(json, QString());
        const bool sameBoot = StoredClock::isSameBoot(reader.optionalString(StoredClock::bootIDKey), bootID);
        return readList(reader.array(marksKey), reader.pathOf(marksKey),
                        [sameBoot](const QJsonValue &mark, const QString &path) { return fromJson(mark, path, sameBoot); });
    };
    return JSONFileStore::load(folder.filePath(fileName()), folder.filePath(quarantineName()), decode, problem)
        .value_or(QList<DownMark>());
}

void removeLeftoverTemporaries(const QString &directory)
{
    AtomicFile::removeLeftoverTemporaries(QDir(directory).filePath(fileName()));
}

void save(const QList<DownMark> &marks, const QString &directory, const QString &bootID)
{
    QJsonArray list;
    for (const DownMark &mark : marks)
        list.append(toJson(mark));
    const QJsonObject document{{StoredClock::bootIDKey, bootID}, {marksKey, list}};
    JSONFileStore::save(writeJson(document, JsonStyle::compact), QDir(directory).filePath(fileName()));
}

} // namespace marrowick::AlertMarksStore
