#include <QtTest>

#include "widgets/nwheeldoublespinbox.h"

namespace {

void wheel(QWidget& w, int delta)
{
    const QPointF pos(w.width() / 2.0, w.height() / 2.0);
    QWheelEvent ev(pos, w.mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                   false);
    QApplication::sendEvent(&w, &ev);
}

void fillCodes(CustomComboBox& box)
{
    box.addValueItem(QStringLiteral("three"), 3);
    box.addValueItem(QStringLiteral("five"), 5);
    box.addValueItem(QStringLiteral("nine"), 9);
}

}   // namespace

class ValueInputs : public QObject {
    Q_OBJECT

private slots:
    void freshComboHoldsOnlyNull()
    {
        CustomComboBox box;
        QCOMPARE(box.count(), 1);
        QCOMPARE(box.currentText(), QStringLiteral("NULL"));
        QCOMPARE(box.getValue(), -1);

        for (int v : {0, -1, 1, 9999, -9999}) {
            box.setValue(v);
            QCOMPARE(box.currentIndex(), 0);
            QCOMPARE(box.getValue(), -1);
        }
    }

    void setValueBeforeAnyChoice_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("code");

        QTest::newRow("absent inside range") << 4 << "NULL" << -1;
        QTest::newRow("above largest") << 10 << "NULL" << -1;
        QTest::newRow("below smallest") << 2 << "NULL" << -1;
        QTest::newRow("minus one") << -1 << "NULL" << -1;
        QTest::newRow("smallest") << 3 << "three" << 3;
        QTest::newRow("largest") << 9 << "nine" << 9;
    }

    void setValueBeforeAnyChoice()
    {
        QFETCH(int, value);
        QFETCH(QString, text);
        QFETCH(int, code);

        CustomComboBox box;
        fillCodes(box);
        box.setValue(value);
        QCOMPARE(box.currentText(), text);
        QCOMPARE(box.getValue(), code);
    }

    void unknownCodeKeepsLastChoice()
    {
        CustomComboBox box;
        fillCodes(box);
        box.setValue(5);
        QCOMPARE(box.currentText(), QStringLiteral("five"));

        for (int v : {4, 10, -1, 2}) {
            box.setValue(v);
            QCOMPARE(box.currentText(), QStringLiteral("five"));
            QCOMPARE(box.getValue(), 5);
        }

        box.setValue(9);
        QCOMPARE(box.getValue(), 9);
    }

    void userPickingNullIsUndone()
    {
        CustomComboBox box;
        fillCodes(box);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));

        // Before a real choice the box stays on "NULL".
        QTest::keyClick(&box, Qt::Key_Home);
        QCOMPARE(box.getValue(), -1);

        box.setCurrentIndex(box.findText(QStringLiteral("five")));
        QTest::keyClick(&box, Qt::Key_Home);
        QCOMPARE(box.currentText(), QStringLiteral("five"));
        QCOMPARE(box.getValue(), 5);

        QTest::keyClick(&box, Qt::Key_Up);
        QCOMPARE(box.getValue(), 3);
        QTest::keyClick(&box, Qt::Key_Up);
        QCOMPARE(box.getValue(), 3);
    }

    void itemWithCodeMinusOneActsAsNull()
    {
        CustomComboBox box;
        fillCodes(box);
        box.addValueItem(QStringLiteral("none"), -1);
        box.setValue(9);
        box.setCurrentIndex(box.findText(QStringLiteral("none")));
        QCOMPARE(box.getValue(), 9);
    }

    void spinBoxIgnoresWheel()
    {
        QWidget page;
        auto* box = new nwheeldoublespinbox(&page);
        auto* plain = new QDoubleSpinBox(&page);
        plain->move(0, 40);
        box->setValue(5);
        plain->setValue(5);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        page.activateWindow();
        plain->setFocus();
        QTRY_VERIFY(plain->hasFocus());

        // The same event steps an ordinary spin box.
        wheel(*plain, 120);
        QCOMPARE(plain->value(), 6.0);

        wheel(*box, 120);
        QCOMPARE(box->value(), 5.0);
        wheel(*box, -240);
        QCOMPARE(box->value(), 5.0);

        // Nor with focus.
        box->setFocus();
        QTRY_VERIFY(box->hasFocus());
        wheel(*box, 120);
        QCOMPARE(box->value(), 5.0);
        wheel(*box, -120);
        QCOMPARE(box->value(), 5.0);

        // Keys and typing still change the value.
        QTest::keyClick(box, Qt::Key_Up);
        QCOMPARE(box->value(), 6.0);
        box->selectAll();
        QTest::keyClicks(box, QStringLiteral("7.25"));
        QTest::keyClick(box, Qt::Key_Enter);
        QCOMPARE(box->value(), 7.25);
    }
};

QTEST_MAIN(ValueInputs)
#include "tst_valueinputs.moc"
