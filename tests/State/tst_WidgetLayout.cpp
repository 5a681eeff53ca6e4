#include "Marrowick/State/AppSettings.h"
#include "Marrowick/State/WidgetLayout.h"
#include "MarrowickKit/Model/JsonReading.h"
#include "MarrowickKit/Model/UuidText.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace marrowick;

namespace {

AnySourceConfig source(const QUuid &id)
{
    return TCPPortConfig(id, QStringLiteral("S"), QStringLiteral("127.0.0.1"), 22);
}

WidgetEntry entry(const QUuid &sourceID, const QString &name, const QString &detail = {})
{
    CheckResult check;
    check.id = name;
    check.name = name;
    if (!detail.isEmpty())
        check.detail = detail;
    const WidgetData widget(check);
    return WidgetEntry{widget.scopedID(sourceID), widget};
}

QStringList names(const QList<WidgetEntry> &entries)
{
    QStringList result;
    for (const WidgetEntry &e : entries)
        result.append(e.widget.displayName());
    return result;
}

} // namespace

class TestWidgetLayout : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_fileNumber = 0;

    std::unique_ptr<AppSettings> freshSettings()
    {
        const QString path = m_dir.filePath(QStringLiteral("settings-%1.ini").arg(++m_fileNumber));
        return std::make_unique<AppSettings>(std::make_unique<QSettings>(path, QSettings::IniFormat));
    }

private slots:
    void decodeAcceptsOnlyTheFullForm_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("valid");
        QTest::newRow("all members") << QByteArray(R"({"order":["a"],"hidden":[],"sourceOrder":[],"collapsed":["c"]})") << true;
        QTest::newRow("members in any order, extra member")
            << QByteArray(R"({"collapsed":[],"extra":1,"sourceOrder":[],"hidden":[],"order":[]})") << true;
        QTest::newRow("collapsed missing") << QByteArray(R"({"order":[],"hidden":[],"sourceOrder":[]})") << false;
        QTest::newRow("member null") << QByteArray(R"({"order":null,"hidden":[],"sourceOrder":[],"collapsed":[]})") << false;
        QTest::newRow("member of another type") << QByteArray(R"({"order":[],"hidden":"x","sourceOrder":[],"collapsed":[]})") << false;
        QTest::newRow("element not a string") << QByteArray(R"({"order":[1],"hidden":[],"sourceOrder":[],"collapsed":[]})") << false;
        QTest::newRow("array document") << QByteArray("[]") << false;
        QTest::newRow("not JSON") << QByteArray("{\"order\":[") << false;
    }
    void decodeAcceptsOnlyTheFullForm()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, valid);
        bool decoded = true;
        try {
            WidgetLayout::decode(json);
        } catch (const JsonDecodeError &) {
            decoded = false;
        }
        QCOMPARE(decoded, valid);
    }

    void duplicatesCollapseOnlyInTheSets()
    {
        const WidgetLayout layout = WidgetLayout::decode(
            R"({"order":["a","a"],"hidden":["h","h"],"sourceOrder":["s","s"],"collapsed":["c","c"]})");
        QCOMPARE(layout.order, (QList<QString>{"a", "a"}));
        QCOMPARE(layout.sourceOrder, (QList<QString>{"s", "s"}));
        QCOMPARE(layout.hidden, (QSet<QString>{"h"}));
        QCOMPARE(layout.collapsed, (QSet<QString>{"c"}));
    }

    void encodesCompactInFieldOrder()
    {
        WidgetLayout layout;
        layout.order = {"K/check:b", "K/check:a"};
        layout.hidden = {"z", "y"};
        layout.sourceOrder = {"S"};
        QCOMPARE(layout.encode(),
                 QByteArray(R"({"order":["K\/check:b","K\/check:a"],"hidden":["y","z"],"sourceOrder":["S"],"collapsed":[]})"));
        QCOMPARE(WidgetLayout::decode(layout.encode()), layout);
    }

    // A text where data belongs is a damaged settings file: the settings keep a copy of it
    // and write it again without the text.
    void loadFallsBackToEmptyAndWritesNothing_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("keptIn"); // beside the file's name
        QTest::newRow("text, not data") << QVariant(QStringLiteral(R"({"order":[],"hidden":[],"sourceOrder":[],"collapsed":[]})"))
                                        << QStringLiteral(".corrupt");
        QTest::newRow("undecodable data") << QVariant(QByteArray("{\"order\":[]}")) << QString();
        QTest::newRow("garbage data") << QVariant(QByteArray("\xff\x00", 2)) << QString();
    }
    void loadFallsBackToEmptyAndWritesNothing()
    {
        QFETCH(QVariant, stored);
        QFETCH(QString, keptIn);
        const QString path = m_dir.filePath(QStringLiteral("raw-%1.ini").arg(++m_fileNumber));
        {
            QSettings raw(path, QSettings::IniFormat);
            raw.setValue(SettingsKey::widgetLayout, stored);
        }
        if (!keptIn.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(" was damaged\\. ")));
        AppSettings settings(std::make_unique<QSettings>(path, QSettings::IniFormat));
        QCOMPARE(WidgetLayout::load(settings), WidgetLayout());
        QSettings raw(path + keptIn, QSettings::IniFormat);
        QCOMPARE(raw.value(SettingsKey::widgetLayout), stored);
    }

    void savedLayoutLoadsBackAndDropsUnknownMembers()
    {
        auto settings = freshSettings();
        QCOMPARE(WidgetLayout::load(*settings), WidgetLayout());
        settings->setWidgetLayoutData(QByteArray(R"({"order":["x"],"hidden":[],"sourceOrder":[],"collapsed":[],"extra":true})"));
        WidgetLayout layout = WidgetLayout::load(*settings);
        QCOMPARE(layout.order, QList<QString>{"x"});
        layout.collapsed.insert(QStringLiteral("S"));
        layout.save(*settings);
        QVERIFY(!settings->widgetLayoutData()->contains("extra"));
        QCOMPARE(WidgetLayout::load(*settings), layout);
    }

    void sourceOrderSkipsInvalidDeletedAndRepeatedIds()
    {
        const QUuid a = QUuid::createUuid(), b = QUuid::createUuid(), c = QUuid::createUuid();
        WidgetLayout layout;
        layout.sourceOrder = {uuidText(b), QStringLiteral("not a uuid"), uuidText(QUuid::createUuid()),
                              uuidText(b).toLower()};
        const QList<AnySourceConfig> sources{source(a), source(b), source(c), source(a)};
        QCOMPARE(layout.orderedSources(sources), (QList<QUuid>{b, a, c}));
    }

    void movingSourcesRewritesTheWholeOrder()
    {
        const QUuid a = QUuid::createUuid(), b = QUuid::createUuid(), c = QUuid::createUuid();
        WidgetLayout layout;
        layout.sourceOrder = {uuidText(QUuid::createUuid()), uuidText(c)};
        const QList<AnySourceConfig> sources{source(a), source(b), source(c)};
        // Display order is C, A, B; move B to the front.
        layout.moveSources({2}, 0, sources);
        QCOMPARE(layout.sourceOrder, (QList<QString>{uuidText(b), uuidText(c), uuidText(a)}));
        QCOMPARE(layout.orderedSources(sources), (QList<QUuid>{b, c, a}));
    }

    void widgetsFollowTheUserOrderThenTheReportedOrder()
    {
        const QUuid s = QUuid::createUuid();
        const WidgetEntry x = entry(s, "X"), y = entry(s, "Y"), z = entry(s, "Z"), w = entry(s, "W");
        WidgetLayout layout;
        QCOMPARE(names(layout.orderedEntries({x, y, z})), (QStringList{"X", "Y", "Z"}));

        layout.moveWidgets({2}, 0, {x, y, z});
        QCOMPARE(layout.order.mid(layout.order.size() - 3), (QList<QString>{z.key, x.key, y.key}));
        QCOMPARE(names(layout.orderedEntries({x, y, z, w})), (QStringList{"Z", "X", "Y", "W"}));

        layout.hidden.insert(y.key);
        QCOMPARE(names(layout.visibleEntries({x, y, z})), (QStringList{"Z", "X"}));
        QCOMPARE(names(layout.orderedEntries({x, y, z})), (QStringList{"Z", "X", "Y"}));
    }

    void movingOneSourceLeavesOthersAlone()
    {
        const QUuid s = QUuid::createUuid(), t = QUuid::createUuid();
        const QList<WidgetEntry> mine{entry(s, "A"), entry(s, "B")};
        const QList<WidgetEntry> theirs{entry(t, "P"), entry(t, "Q"), entry(t, "R")};
        WidgetLayout layout;
        layout.moveWidgets({2}, 0, theirs);
        layout.moveWidgets({0}, 2, mine);
        QCOMPARE(names(layout.orderedEntries(theirs)), (QStringList{"R", "P", "Q"}));
        QCOMPARE(names(layout.orderedEntries(mine)), (QStringList{"B", "A"}));
        QCOMPARE(layout.order.first(), theirs[2].key);
    }

    void duplicateKeysShowLastWhenPlacedAndFirstOtherwise()
    {
        const QUuid s = QUuid::createUuid();
        const WidgetEntry first = entry(s, "X", "first"), last = entry(s, "X", "last"), y = entry(s, "Y");
        WidgetLayout layout;
        QCOMPARE(layout.orderedEntries({first, y, last}), (QList<WidgetEntry>{first, y}));
        layout.order = {y.key, first.key};
        QCOMPARE(layout.orderedEntries({first, y, last}), (QList<WidgetEntry>{y, last}));
    }

    void moveIgnoresOffsetsOutsideTheList_data()
    {
        QTest::addColumn<QList<qsizetype>>("offsets");
        QTest::addColumn<qsizetype>("destination");
        QTest::addColumn<QString>("expected"); // empty: no move at all
        QTest::newRow("one down") << QList<qsizetype>{0} << qsizetype(2) << "BACD";
        QTest::newRow("to the end") << QList<qsizetype>{1} << qsizetype(4) << "ACDB";
        QTest::newRow("block keeps relative order") << QList<qsizetype>{3, 1} << qsizetype(0) << "BDAC";
        QTest::newRow("destination is moved") << QList<qsizetype>{1, 2} << qsizetype(2) << "ABCD";
        QTest::newRow("no offsets") << QList<qsizetype>{} << qsizetype(1) << "ABCD";
        QTest::newRow("offsets out of range skipped") << QList<qsizetype>{-1, 9, 3} << qsizetype(0) << "DABC";
        QTest::newRow("destination past the end") << QList<qsizetype>{0} << qsizetype(5) << "";
        QTest::newRow("negative destination") << QList<qsizetype>{0} << qsizetype(-1) << "";
    }
    void moveIgnoresOffsetsOutsideTheList()
    {
        QFETCH(QList<qsizetype>, offsets);
        QFETCH(qsizetype, destination);
        QFETCH(QString, expected);
        const QList<QChar> list{'A', 'B', 'C', 'D'};
        const auto moved = movedList(list, offsets, destination);
        QCOMPARE(moved.has_value(), !expected.isEmpty());
        if (moved)
            QCOMPARE(QString(moved->constData(), moved->size()), expected);
    }

    void outOfRangeMovesLeaveTheLayoutUnchanged()
    {
        const QUuid s = QUuid::createUuid();
        const QList<WidgetEntry> entries{entry(s, "A"), entry(s, "B")};
        WidgetLayout layout;
        layout.order = {QStringLiteral("other")};
        layout.sourceOrder = {QStringLiteral("kept")};
        const WidgetLayout before = layout;
        layout.moveWidgets({0}, 3, entries);
        layout.moveSources({0}, -2, {source(s)});
        QCOMPARE(layout, before);
    }
};

QTEST_MAIN(TestWidgetLayout)
#include "tst_WidgetLayout.moc"
