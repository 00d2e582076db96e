#include "support/windowharness.h"

#include "protocol/rawframecodec.h"

#include <cstring>

namespace {
QByteArray hex(const char* t) { return QByteArray::fromHex(t); }
}

class RawFrames : public QObject {
    Q_OBJECT

private slots:
    void init() { SimReset(); }

    void hexText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");   // empty: refused
        QTest::newRow("spaces") << "01 02 03" << hex("010203");
        QTest::newRow("eight pairs run together") << "0102030405060708" << hex("0102030405060708");
        QTest::newRow("ascii commas") << "01,02,03" << hex("010203");
        QTest::newRow("full-width commas") << QString::fromUtf8("01，02，03") << hex("010203");
        QTest::newRow("tabs and line breaks") << "01\t02\r\n03\v\f" << hex("010203");
        QTest::newRow("separators inside a pair") << "0 1,0\t2" << hex("0102");
        QTest::newRow("mixed case") << "aB" << hex("ab");
        QTest::newRow("upper case") << "FF ee" << hex("ffee");
        QTest::newRow("ideographic space") << QString::fromUtf8("01\u300002\u300003") << QByteArray();
        QTest::newRow("no-break space") << QString::fromUtf8("01\u00A002") << QByteArray();
        QTest::newRow("eighteen digits") << "010203040506070809" << QByteArray();
        QTest::newRow("odd count") << "01 02 0" << QByteArray();
        QTest::newRow("0x prefix") << "0x01" << QByteArray();
        QTest::newRow("letter past f") << "0g" << QByteArray();
        QTest::newRow("empty") << "" << QByteArray();
        QTest::newRow("separators only") << " ,\n，" << QByteArray();
        QTest::newRow("full-width digits") << QString::fromUtf8("０１") << QByteArray();
        QTest::newRow("arabic-indic digits") << QString::fromUtf8("١٢") << QByteArray();
        const QString padded = "01 02" + QString(rawframes::MaxHexTextLength - 5, ' ');
        QTest::newRow("longest text taken") << padded << hex("0102");
        QTest::newRow("text past the longest") << padded + "\n" << QByteArray();
    }

    void hexText()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        uint8_t out[8];
        std::memset(out, 0xEE, sizeof out);
        const int n = rawframes::parseHexText(text, out);
        QCOMPARE(n, int(bytes.size()));
        if (n > 0) QCOMPARE(QByteArray(reinterpret_cast<const char*>(out), n), bytes);
        // Bytes past the parsed ones keep what they held.
        for (int i = std::max(n, 1); i < 8; ++i) QCOMPARE(out[i], uint8_t(0xEE));
    }

    void scaling()
    {
        using rawframes::floatToUint;
        using rawframes::uintToFloat;
        QCOMPARE(floatToUint(0.0f, 0.0f, 1000.0f, 16), 0);
        QCOMPARE(floatToUint(1000.0f, 0.0f, 1000.0f, 16), 65535);
        QCOMPARE(floatToUint(0.0f, -12.5f, 12.5f, 16), 32767);   // 32767.5 truncated
        QCOMPARE(floatToUint(-40.0f, -40.0f, 40.0f, 16), 0);
        QCOMPARE(floatToUint(1.0f, -1.0f, 1.0f, 24), 16777215);
        QCOMPARE(floatToUint(-2.0f, -1.0f, 1.0f, 16), -32767);   // below the range: toward zero
        // An empty range must not crash or overflow the conversion.
        QCOMPARE(floatToUint(1.0f, 1.0f, 1.0f, 16), 0);
        floatToUint(2.0f, 1.0f, 1.0f, 16);

        QCOMPARE(uintToFloat(0, -45.0f, 175.0f, 16), -45.0f);
        QCOMPARE(uintToFloat(65535, -45.0f, 175.0f, 16), 175.0f);
        QCOMPARE(uintToFloat(16777215, -200.0f, 200.0f, 24), 200.0f);
        QCOMPARE(uintToFloat(0, -20.0f, 20.0f, 24), -20.0f);
        // Round trip within one step of the 16-bit scale.
        for (float v : {-80.0f, -33.3f, 0.0f, 12.25f, 79.9f}) {
            const float back = uintToFloat(floatToUint(v, -80.0f, 80.0f, 16), -80.0f, 80.0f, 16);
            QVERIFY2(back <= v && v - back <= 160.0f / 65535.0f + 1e-4f, qPrintable(QString::number(back)));
        }
    }

    void sendButton()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        openPort(w);
        takeSent();
        BoxCatcher boxes;
        ui->plainTextEdit_sendData->setPlainText("01 02 03");
        ui->pushButton_send->click();
        ui->plainTextEdit_sendData->setPlainText(QString::fromUtf8("0a，0B\n0c\t0d"));
        ui->pushButton_send->click();
        const auto sent = takeSent();
        QCOMPARE(int(sent.size()), 2);
        QCOMPARE(frameBytes(sent[0]), hex("010203"));
        QCOMPARE(frameBytes(sent[1]), hex("0a0b0c0d"));
        QTRY_VERIFY(MainWindowProbe::logLines(w).contains("[Trans ]: 01 02 03"));

        for (const char* bad : {"010203040506070809", "0x12", "123"}) {
            ui->plainTextEdit_sendData->setPlainText(QString::fromLatin1(bad));
            ui->pushButton_send->click();
        }
        QCOMPARE(boxes.texts(), (QStringList{"Input Data ERROR", "Input Data ERROR", "Input Data ERROR"}));
        QVERIFY(takeSent().empty());
        QCOMPARE(boxes.boxes.first().title, QString("ERROR"));
    }

    void sendButtonWithChannelClosed()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        BoxCatcher boxes;
        ui->plainTextEdit_sendData->setPlainText("01 02");
        ui->pushButton_send->click();
        QTest::qWait(30);
        QVERIFY(boxes.boxes.isEmpty());
        QVERIFY(takeSent().empty());
    }

    void quickSet()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        openPort(w);
        takeSent();
        ui->spinBox_id_2->setValue(5);
        ui->doubleSpinBox_kp->setValue(1000);
        ui->doubleSpinBox_kd->setValue(0);
        ui->doubleSpinBox_tp->setValue(0);
        ui->doubleSpinBox_tv->setValue(0);
        ui->doubleSpinBox_tau->setValue(-40);
        ui->pushButton_set->click();
        auto sent = takeSent();
        QCOMPARE(int(sent.size()), 2);
        QCOMPARE(frameBytes(sent[0]), hex("5005ffff0000ff7f"));
        QCOMPARE(frameBytes(sent[1]), hex("5105ff7f0000ffff"));
        QVERIFY(sent[1].timeUs - sent[0].timeUs >= 2000);

        // Scaled over each box's range as it is now, not as the form first set it.
        ui->doubleSpinBox_kp->setMaximum(500);
        ui->doubleSpinBox_kp->setValue(500);
        ui->doubleSpinBox_tau->setRange(-10, 10);
        ui->doubleSpinBox_tau->setValue(10);
        ui->pushButton_set->click();
        sent = takeSent();
        QCOMPARE(int(sent.size()), 2);
        QCOMPARE(frameBytes(sent[0]), hex("5005ffff0000ff7f"));
        QCOMPARE(frameBytes(sent[1]), hex("5105ff7fffffffff"));
    }

    void quickSetWithChannelClosed()
    {
        WorkDir dir(false);
        MainWindow w;
        BoxCatcher boxes;
        MainWindowProbe::ui(w)->pushButton_set->click();
        QCOMPARE(boxes.texts(), QStringList{"请先打开设备"});
        QCOMPARE(SimCallCount(SIM_TRANSMIT), 0u);
    }

    void clearState()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        ui->textEdit_error->setPlainText("over-current");
        ui->lineEdit_state->setText("fault");
        {
            // Not sent: the panes keep their text.
            BoxCatcher boxes;
            ui->pushButton_clearState->click();
            QCOMPARE(boxes.texts(), QStringList{"请先打开设备"});
            QCOMPARE(ui->textEdit_error->toPlainText(), QString("over-current"));
            QCOMPARE(ui->lineEdit_state->text(), QString("fault"));
        }
        openPort(w);
        takeSent();
        ui->pushButton_clearState->click();
        QCOMPARE(sentBytes(), QList<QByteArray>{hex("f2ffffff55a10000")});
        QVERIFY(ui->textEdit_error->toPlainText().isEmpty());
        QVERIFY(ui->lineEdit_state->text().isEmpty());
    }
};

QTEST_MAIN(RawFrames)
#include "tst_rawframes.moc"
