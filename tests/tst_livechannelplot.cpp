#include "support/windowharness.h"

#include "widgets/axistag.h"
#include "widgets/vekcustomplot.h"

// What an axis tag shows: its text, border pen and the value it points at.
struct TagView : AxisTag {
    static QCPItemText* text(AxisTag* t) { return (t->*(&TagView::textItem)).data(); }
    static double value(AxisTag* t) { return (t->*(&TagView::dummyTracer))->position->value(); }
};

class LiveChannelPlot : public QObject {
    Q_OBJECT

private:
    static QString tagText(MainWindow& w, int k) { return TagView::text(MainWindowProbe::axisTag(w, k))->text(); }
    static QColor tagColor(MainWindow& w, int k)
    {
        return TagView::text(MainWindowProbe::axisTag(w, k))->pen().color();
    }
    static double tagValue(MainWindow& w, int k) { return TagView::value(MainWindowProbe::axisTag(w, k)); }

    static bool crossHairVisible(VekCustomPlot* plot)
    {
        for (int i = 0; i < plot->itemCount(); ++i)
            if (qobject_cast<QCPItemStraightLine*>(plot->item(i)) && plot->item(i)->visible()) return true;
        return false;
    }

    static void tick(MainWindow&, std::initializer_list<QCheckBox*> boxes)
    {
        for (QCheckBox* b : boxes) b->setChecked(true);
    }

    // A window with the port open and no drive on the bus, so nothing streams.
    struct Rig {
        WorkDir dir{false};
        MainWindow w;
        Ui_MainWindow* ui = MainWindowProbe::ui(w);
        Rig()
        {
            SimSetDriveAttached(0);
            openPort(w);
            takeSent();
        }
    };

private slots:
    void init() { SimReset(); }

    void startFrameCarriesTheChannelMask()
    {
        Rig r;
        // Clicked in the opposite of bit order: graphs still follow bit order.
        tick(r.w, {r.ui->checkBox_BusVoltage, r.ui->checkBox_aCurrent});
        r.ui->pushButton_display->click();
        QCOMPARE(sentBytes(), QList<QByteArray>{QByteArray::fromHex("ffffffff55a00104")});
        const QList<checkedItem> items = MainWindowProbe::checkedItems(r.w);
        QCOMPARE(items.size(), 2);
        QCOMPARE(items[0].name, QString("aCurrent"));
        QCOMPARE(items[0].minValue, -60.0f);
        QCOMPARE(items[1].name, QString("BusVoltage"));
        QCOMPARE(items[1].maxValue, 60.0f);
        QCOMPARE(MainWindowProbe::channelCount(r.w), 2);

        QCPGraph* g1 = MainWindowProbe::curveGraph(r.w, 1);
        QCOMPARE(g1->name(), QString("aCurrent"));
        QCOMPARE(g1->pen().color(), QColor(255, 0, 0));
        QCOMPARE(MainWindowProbe::curveGraph(r.w, 2)->name(), QString("BusVoltage"));
        QVERIFY(!MainWindowProbe::curveGraph(r.w, 3)->visible());
        QCPLegend* legend = r.ui->plot->legend;
        QVERIFY(legend->visible());
        QVERIFY(legend->item(0)->visible() && legend->item(1)->visible() && !legend->item(2)->visible());
        QCOMPARE(tagColor(r.w, 1), QColor(255, 0, 0));
        QCOMPARE(tagColor(r.w, 3).alpha(), 0);
        QCOMPARE(r.ui->pushButton_display->text(), QString("Stop"));
        QVERIFY(MainWindowProbe::firstSamplePending(r.w));
        QVERIFY(MainWindowProbe::plotTimer(r.w).isActive());
        QCOMPARE(MainWindowProbe::plotTimer(r.w).interval(), 16);
        QCOMPARE(r.ui->plot->axisRect()->rangeZoom(), Qt::Orientations(Qt::Vertical));
        QCOMPARE(r.ui->plot->axisRect()->rangeDrag(), Qt::Orientations(Qt::Vertical));

        r.ui->pushButton_display->click();
        QCOMPARE(sentBytes(), QList<QByteArray>{QByteArray::fromHex("ffffffff55a1ffff")});
        QCOMPARE(r.ui->pushButton_display->text(), QString("Display"));
        QVERIFY(!MainWindowProbe::curveDisplaying(r.w));
        QVERIFY(!MainWindowProbe::plotTimer(r.w).isActive());
        QCOMPARE(r.ui->plot->axisRect()->rangeZoom(), Qt::Horizontal | Qt::Vertical);
        QCOMPARE(r.ui->plot->axisRect()->rangeDrag(), Qt::Horizontal | Qt::Vertical);
        QCOMPARE(g1->name(), QString("aCurrent"));   // the last display stays on show

        r.ui->checkBox_BusVoltage->setChecked(false);
        tick(r.w, {r.ui->checkBox_MotorSpeed});
        r.ui->pushButton_display->click();
        QCOMPARE(sentBytes(), QList<QByteArray>{QByteArray::fromHex("ffffffff55a00101")});
        QCOMPARE(MainWindowProbe::checkedItems(r.w)[1].name, QString("MotorSpeed"));
    }

    void refusedStartsSendNothing()
    {
        Rig r;
        BoxCatcher boxes;
        tick(r.w,
             {r.ui->checkBox_aCurrent, r.ui->checkBox_bCurrent, r.ui->checkBox_ElecAngle, r.ui->checkBox_AxleSpeed});
        r.ui->pushButton_display->click();
        QCOMPARE(boxes.texts(), QStringList{"The number of choices must be between 1 and 3"});
        QCOMPARE(boxes.boxes[0].title, QString("ERROR"));
        QCOMPARE(MainWindowProbe::channelCount(r.w), 4);
        QCOMPARE(MainWindowProbe::checkedItems(r.w).size(), 4);
        QVERIFY(sentBytes().isEmpty());
        QVERIFY(!MainWindowProbe::curveDisplaying(r.w));
        QVERIFY(!MainWindowProbe::plotTimer(r.w).isActive());

        for (QCheckBox* b : r.w.findChildren<QCheckBox*>()) b->setChecked(false);
        r.ui->pushButton_display->click();
        QCOMPARE(boxes.boxes.size(), 2);
        QCOMPARE(MainWindowProbe::channelCount(r.w), 0);
        QVERIFY(sentBytes().isEmpty());
    }

    void portClosedOrStopLost()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        BoxCatcher boxes;
        ui->checkBox_dCurrent->setChecked(true);
        ui->pushButton_display->click();
        QCOMPARE(boxes.texts(), QStringList{"请先打开设备"});
        QVERIFY(!MainWindowProbe::curveDisplaying(w));
        QCOMPARE(ui->pushButton_display->text(), QString("Display"));
        QVERIFY(!MainWindowProbe::plotTimer(w).isActive());

        SimSetDriveAttached(0);
        openPort(w);
        ui->pushButton_display->click();
        QVERIFY(MainWindowProbe::curveDisplaying(w));
        // The channel goes away under the display: the stop frame cannot leave, the display goes on.
        CanThread* can = MainWindowProbe::can(w);
        can->stop();
        can->wait();
        can->CloseCAN();
        ui->pushButton_display->click();
        QCOMPARE(boxes.texts(), (QStringList{"请先打开设备", "请先打开设备"}));
        QVERIFY(MainWindowProbe::curveDisplaying(w));
        QCOMPARE(ui->pushButton_display->text(), QString("Stop"));
        QVERIFY(MainWindowProbe::plotTimer(w).isActive());
    }

    // The adapter's stamp wraps after 71.6 minutes: samples on either side keep their
    // 50 ms spacing and every one is plotted.
    void samplesKeepComingAcrossTheStampWrap()
    {
        Rig r;
        tick(r.w, {r.ui->checkBox_aCurrent});
        r.ui->pushButton_display->click();
        const uint8_t sample[3] = {0xFA, 0x80, 0x00};
        for (uint32_t k = 0; k < 40; ++k)
            SimInjectFrame(0, uint32_t(r.ui->spinBox_id->value()), sample, 3, 4294000000u + k * 50000u);
        QCPGraph* g = MainWindowProbe::curveGraph(r.w, 1);
        QTRY_COMPARE(g->data()->size(), 39);   // the first sample sets the origin
        double last = 0;
        for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it) {
            QVERIFY2(qAbs(it->key - last - 0.05) < 0.002, qPrintable(QString::number(it->key)));
            last = it->key;
        }
    }

    void redrawRescalesOnceAndScrolls()
    {
        Rig r;
        tick(r.w, {r.ui->checkBox_aCurrent, r.ui->checkBox_qCurrent});
        r.ui->pushButton_display->click();
        QCPAxis* x = r.ui->plot->xAxis;
        QCPAxis* y = r.ui->plot->yAxis;
        const QCPRange yBefore = y->range();

        // No data yet: nothing moves and the rescale waits.
        const QString tagBefore = tagText(r.w, 1);
        MainWindowProbe::redraw(r.w);
        QCOMPARE(y->range(), yBefore);
        QCOMPARE(tagText(r.w, 1), tagBefore);

        QCPGraph* g1 = MainWindowProbe::curveGraph(r.w, 1);
        QCPGraph* g2 = MainWindowProbe::curveGraph(r.w, 2);
        g1->addData(0.0, 0.0);
        g1->addData(1.0, 10.0);
        g2->addData(0.0, 3.0);
        g2->addData(1.0, 4.256);
        MainWindowProbe::redraw(r.w);
        QCOMPARE(y->range().lower, -5.0);
        QCOMPARE(y->range().upper, 15.0);
        QCOMPARE(tagText(r.w, 1), QString("10.00"));
        QCOMPARE(tagValue(r.w, 1), 10.0);
        QCOMPARE(tagText(r.w, 2), QString("4.26"));
        QCOMPARE(tagText(r.w, 3), tagBefore);   // only the displayed channels' tags move
        QCOMPARE(x->range().upper, 1.0);
        QCOMPARE(x->range().size(), 10.0);

        // Later data scrolls the window but does not rescale again.
        g1->addData(25.0, 100.0);
        MainWindowProbe::redraw(r.w);
        QCOMPARE(x->range().lower, 15.0);
        QCOMPARE(x->range().upper, 25.0);
        QCOMPARE(y->range().upper, 15.0);
        QCOMPARE(tagText(r.w, 1), QString("100.00"));
        QCOMPARE(tagText(r.w, 2), QString("4.26"));

        // A new display of one channel empties the graphs; the second tag keeps no stale value.
        r.ui->pushButton_display->click();
        r.ui->checkBox_qCurrent->setChecked(false);
        r.ui->pushButton_display->click();
        QVERIFY(g1->data()->isEmpty());
        QVERIFY(g2->data()->isEmpty());
        QCOMPARE(tagText(r.w, 2), QString());
        QCOMPARE(tagColor(r.w, 2).alpha(), 0);
        QCOMPARE(tagText(r.w, 1), QString("100.00"));   // until the first redraw with data
        QCOMPARE(tagColor(r.w, 1), QColor(255, 0, 0));
    }

    void identificationHidesTheUnusedTag()
    {
        Rig r;
        QObject::disconnect(&r.w, &MainWindow::requestSaveCalibrationData, nullptr, nullptr);
        tick(r.w, {r.ui->checkBox_aCurrent, r.ui->checkBox_bCurrent, r.ui->checkBox_cCurrent});
        r.ui->pushButton_display->click();
        for (int k = 1; k <= 3; ++k) MainWindowProbe::curveGraph(r.w, k)->addData(1.0, k);
        MainWindowProbe::redraw(r.w);
        QCOMPARE(tagText(r.w, 3), QString("3.00"));
        r.ui->pushButton_display->click();

        MainWindowProbe::decode(r.w, {0xFB, 0x10}, 5.0f);
        QCOMPARE(tagText(r.w, 3), QString());
        QCOMPARE(tagColor(r.w, 3).alpha(), 0);
        QCOMPARE(tagColor(r.w, 2), QColor(0, 255, 127));
        MainWindowProbe::decode(r.w, {0xFB, 0x1F, 0x80, 0x00, 0x00, 0x80, 0x00, 0x00}, 5.1f);
        MainWindowProbe::redraw(r.w);
        QCOMPARE(tagText(r.w, 1), QString("0.00"));
        QCOMPARE(tagText(r.w, 2), QString("0.00"));
        QCOMPARE(tagText(r.w, 3), QString());
        MainWindowProbe::decode(r.w, {0xFB, 0x11}, 5.2f);
    }

    void tracerBoxAppliesOnlyWhenIdle()
    {
        Rig r;
        VekCustomPlot* plot = r.ui->plot;
        QVERIFY(!crossHairVisible(plot));
        r.ui->checkBox_showTracer->setChecked(true);
        QVERIFY(crossHairVisible(plot));

        r.ui->checkBox_aCurrent->setChecked(true);
        r.ui->pushButton_display->click();
        QVERIFY(!crossHairVisible(plot));
        r.ui->checkBox_showTracer->setChecked(false);
        r.ui->checkBox_showTracer->setChecked(true);
        QVERIFY(!crossHairVisible(plot));

        r.ui->pushButton_display->click();
        QVERIFY(crossHairVisible(plot));   // the box's state takes effect on stop
        r.ui->checkBox_showTracer->setChecked(false);
        QVERIFY(!crossHairVisible(plot));
    }

    void graphAndLegendSelectTogether()
    {
        Rig r;
        tick(r.w, {r.ui->checkBox_aCurrent, r.ui->checkBox_bCurrent});
        r.ui->pushButton_display->click();
        QCPGraph* g1 = MainWindowProbe::curveGraph(r.w, 1);
        QCPGraph* g2 = MainWindowProbe::curveGraph(r.w, 2);
        for (double k = 0; k < 5; ++k) {
            g1->addData(k, k);
            g2->addData(k, -k);
        }
        QCPLegend* legend = r.ui->plot->legend;

        g2->setSelection(QCPDataSelection(QCPDataRange(1, 2)));
        QVERIFY(QMetaObject::invokeMethod(&r.w, "selectionChanged"));
        QVERIFY(legend->itemWithPlottable(g2)->selected());
        QCOMPARE(g2->selection(), QCPDataSelection(QCPDataRange(0, 5)));
        QVERIFY(!legend->itemWithPlottable(g1)->selected());
        QVERIFY(!g1->selected());

        legend->itemWithPlottable(g1)->setSelected(true);
        QVERIFY(QMetaObject::invokeMethod(&r.w, "selectionChanged"));
        QCOMPARE(g1->selection(), QCPDataSelection(QCPDataRange(0, 5)));
    }

    void backgroundToggle()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        QAction* action = ui->actionbackroundColor;
        QCOMPARE(action->text(), QString("Use Dack Background"));
        const auto look = [](VekCustomPlot* plot) {
            plot->resize(300, 200);
            return plot->toPixmap(300, 200).toImage().pixelColor(2, 2);
        };
        QCOMPARE(look(ui->plot), QColor(Qt::white));

        action->trigger();
        QCOMPARE(action->text(), QString("Use Light Background"));
        for (VekCustomPlot* plot : {ui->plot, ui->plot_temperature}) {
            QCOMPARE(look(plot), QColor(Qt::black));
            QCOMPARE(plot->xAxis->labelColor(), QColor(Qt::white));
            QCOMPARE(plot->yAxis->tickLabelColor(), QColor(Qt::white));
            QCOMPARE(plot->xAxis2->basePen().color(), QColor(Qt::white));
            QCOMPARE(plot->yAxis2->subTickPen().color(), QColor(Qt::white));
            QCOMPARE(plot->yAxis->tickPen().widthF(), double(0.6f));
            QCOMPARE(plot->xAxis2->labelColor(), QColor(Qt::black));   // top and right labels keep theirs
        }

        action->trigger();
        QCOMPARE(action->text(), QString("Use Dack Background"));
        QCOMPARE(look(ui->plot), QColor(Qt::white));
        QCOMPARE(ui->plot_temperature->yAxis->basePen().color(), QColor(Qt::black));
    }

    // The simulated drive streams three channels at 1000 frames a second.
    void threeChannelDisplayAgainstTheDrive()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        openPort(w);
        tick(w, {ui->checkBox_aCurrent, ui->checkBox_qCurrent, ui->checkBox_BusVoltage});
        ui->pushButton_display->click();
        QVERIFY(MainWindowProbe::curveDisplaying(w));
        QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::points(w, 1).size() > 40, 5000);
        QTest::qWait(300);

        MainWindowProbe::redraw(w);   // no events between it and the checks below
        const double bounds[3][2] = {{-20.5, 20.5}, {6.9, 13.1}, {47.4, 48.6}};
        for (int k = 1; k <= 3; ++k) {
            const QCPGraphDataContainer& pts = MainWindowProbe::points(w, k);
            QCOMPARE(pts.size(), MainWindowProbe::points(w, 1).size());
            for (auto it = pts.constBegin(); it != pts.constEnd(); ++it) {
                QVERIFY2(it->value >= bounds[k - 1][0] && it->value <= bounds[k - 1][1],
                         qPrintable(QString::number(it->value)));
                if (it != pts.constBegin())
                    QVERIFY2(it->key - (it - 1)->key > 0.0199, qPrintable(QString::number(it->key - (it - 1)->key)));
            }
            const double newest = (pts.constEnd() - 1)->value;
            QCOMPARE(tagText(w, k), QString::number(newest, 'f', 2));
            QCOMPARE(tagValue(w, k), newest);
        }
        const double lastKey = (MainWindowProbe::points(w, 1).constEnd() - 1)->key;
        QCOMPARE(ui->plot->xAxis->range().upper, lastKey);
        QVERIFY(ui->plot->yAxis->range().lower < -20 && ui->plot->yAxis->range().upper > 48);
        // Nothing from the first second after the device opened.
        QVERIFY(MainWindowProbe::curveTimeOrigin(w) > 1.0f);

        takeSent();
        ui->pushButton_display->click();
        QCOMPARE(sentBytes(), QList<QByteArray>{QByteArray::fromHex("ffffffff55a1ffff")});
    }
};

QTEST_MAIN(LiveChannelPlot)
#include "tst_livechannelplot.moc"
