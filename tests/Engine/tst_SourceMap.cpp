#include "MarrowickKit/Engine/SourceMap.h"

#include <QTest>

using namespace marrowick;

class tst_SourceMap : public QObject {
    Q_OBJECT

private slots:
    void copiesAreIndependent()
    {
        SourceMap<int> original;
        QList<QUuid> ids;
        for (int i = 0; i < 1000; ++i) {
            ids.append(QUuid::createUuid());
            original.insert(ids.last(), i);
        }
        const SourceMap<int> copy = original;
        original.insert(ids.first(), -1);
        original.remove(ids.last());
        original.insert(QUuid::createUuid(), 7);

        QCOMPARE(copy.size(), 1000);
        QCOMPARE(copy.value(ids.first()), 0);
        QCOMPARE(copy.value(ids.last()), 999);
        QCOMPARE(original.size(), 1000);
        QCOMPARE(original.value(ids.first()), -1);
        QVERIFY(!original.contains(ids.last()));
        QCOMPARE(original.find(ids.last()), nullptr);
        QVERIFY(!(original == copy));
    }

    void equalityIgnoresHistory()
    {
        const QUuid a = QUuid::createUuid();
        const QUuid b = QUuid::createUuid();
        SourceMap<QString> emptied{{a, QStringLiteral("x")}};
        QVERIFY(emptied.remove(a));
        QVERIFY(!emptied.remove(a));
        QCOMPARE(emptied, SourceMap<QString>());
        QVERIFY(emptied.isEmpty());

        const SourceMap<QString> forwards{{a, QStringLiteral("x")}, {b, QStringLiteral("y")}};
        const SourceMap<QString> backwards{{b, QStringLiteral("y")}, {a, QStringLiteral("x")}};
        QCOMPARE(forwards, backwards);
        QCOMPARE(forwards.toHash(), (QHash<QUuid, QString>{{a, QStringLiteral("x")}, {b, QStringLiteral("y")}}));
        QVERIFY(!(forwards == SourceMap<QString>{{a, QStringLiteral("x")}, {b, QStringLiteral("z")}}));
    }
};

QTEST_GUILESS_MAIN(tst_SourceMap)
#include "tst_SourceMap.moc"
