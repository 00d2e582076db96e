#include <QtTest>

#include "app/formindex.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

// The window looks its form's widgets up through the index, which must answer as
// findChild does, whatever became of the objects after the index was built.
class FormIndexTest : public QObject {
    Q_OBJECT

    template <class T>
    static QWidget* make(QWidget* parent, const char* name)
    {
        auto* w = new T(parent);
        w->setObjectName(QLatin1String(name));
        return w;
    }

private slots:
    void answersAsFindChild()
    {
        QWidget root;
        QWidget* group = make<QGroupBox>(&root, "groupBox_1");
        QWidget* write = make<QPushButton>(group, "pushButton_CurrentLimit");
        QWidget* box = make<QDoubleSpinBox>(group, "doubleSpinBox_CurrentLimit");
        // A name three objects share. findChild looks at the root's own children first, so
        // it gives the box, neither the first nor the last object in tree order.
        make<QLabel>(group, "shared");
        make<QCheckBox>(&root, "shared");
        make<QLabel>(make<QGroupBox>(&root, "groupBox_2"), "shared");
        FormIndex index;
        index.build(&root);

        QCOMPARE(index.find<QPushButton>("pushButton_CurrentLimit"), write);
        QCOMPARE(index.find<QDoubleSpinBox>("doubleSpinBox_CurrentLimit"), box);
        QCOMPARE(index.find<QWidget>("doubleSpinBox_CurrentLimit"), box);
        QCOMPARE(index.find<QPushButton>("doubleSpinBox_CurrentLimit"), nullptr);   // wrong kind
        QCOMPARE(index.find<QWidget>("absent"), nullptr);
        QVERIFY(qobject_cast<QCheckBox*>(root.findChild<QWidget*>("shared")));
        QCOMPARE(index.find<QWidget>("shared"), root.findChild<QWidget*>("shared"));
        QCOMPARE(index.find<QLabel>("shared"), root.findChild<QLabel*>("shared"));
        QCOMPARE(index.find<QCheckBox>("shared"), root.findChild<QCheckBox*>("shared"));
    }

    void followsChangesSinceBuilt()
    {
        QWidget root;
        QWidget* gone = make<QDoubleSpinBox>(&root, "doubleSpinBox_gone");
        QWidget* renamed = make<QPushButton>(&root, "pushButton_old");
        FormIndex index;
        index.build(&root);

        delete gone;
        QCOMPARE(index.find<QDoubleSpinBox>("doubleSpinBox_gone"), nullptr);
        QWidget* successor = make<QDoubleSpinBox>(&root, "doubleSpinBox_gone");
        QCOMPARE(index.find<QDoubleSpinBox>("doubleSpinBox_gone"), successor);

        renamed->setObjectName("pushButton_new");
        QCOMPARE(index.find<QPushButton>("pushButton_old"), nullptr);
        QCOMPARE(index.find<QPushButton>("pushButton_new"), renamed);

        QWidget* late = make<QCheckBox>(&root, "checkBox_late");
        QCOMPARE(index.find<QCheckBox>("checkBox_late"), late);
    }
};

QTEST_MAIN(FormIndexTest)
#include "tst_formindex.moc"
