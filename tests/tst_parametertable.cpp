// The one parameter table: every order column places its rows 1..n with no gap or twin,
// and the codes the drive knows appear once.
#include "protocol/parametertable.h"

#include <QtTest>

#include <algorithm>

using protocol::kParameterTable;
using protocol::ParameterInfo;

Q_DECLARE_METATYPE(int ParameterInfo::*)

class ParameterTable : public QObject {
    Q_OBJECT

private slots:
    void ordersArePermutations_data()
    {
        QTest::addColumn<int ParameterInfo::*>("order");
        QTest::addColumn<int>("count");
        QTest::newRow("rows") << &ParameterInfo::rowOrder << 56;
        QTest::newRow("bulk") << &ParameterInfo::bulkOrder << 49;
        QTest::newRow("definitions") << &ParameterInfo::definitionOrder << 43;
        QTest::newRow("configuration load") << &ParameterInfo::loadOrder << 43;
        QTest::newRow("configuration save") << &ParameterInfo::saveOrder << 9;
    }
    void ordersArePermutations()
    {
        QFETCH(int ParameterInfo::*, order);
        QFETCH(int, count);
        QList<int> places;
        for (const ParameterInfo& p : kParameterTable)
            if (p.*order != 0) places.append(p.*order);
        std::sort(places.begin(), places.end());
        QList<int> expected;
        for (int i = 1; i <= count; ++i) expected.append(i);
        QCOMPARE(places, expected);
    }

    // A row that is placed carries what that order needs.
    void placedRowsAreComplete()
    {
        for (const ParameterInfo& p : kParameterTable) {
            if (p.rowOrder || p.bulkOrder) QVERIFY(p.button && p.input);
            if (p.definitionOrder) QVERIFY(p.definition && p.input);
            if (p.loadOrder) QVERIFY(p.section && p.key && p.input);
            if (p.saveOrder) QVERIFY(p.loadOrder);
        }
    }

    void codesAreUnique()
    {
        QSet<int> codes;
        for (const ParameterInfo& p : kParameterTable) {
            if (!p.name) continue;
            QVERIFY2(!codes.contains(int(p.code)), p.name);
            codes.insert(int(p.code));
            QCOMPARE(protocol::parameterInfo(p.code), &p);
        }
        QCOMPARE(codes.size(), 61);
    }
};

QTEST_GUILESS_MAIN(ParameterTable)
#include "tst_parametertable.moc"
