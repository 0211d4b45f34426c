// The device card and the activity-log rows: texts, sizes, and what lands on the
// pixels (status colours, the selection, the "NEW" mark, rich text).
#include "DeviceListDelegate.h"
#include "DevicesModel.h"
#include "LogsDelegate.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QStandardItemModel>
#include <QtTest>

namespace {

DeviceInfo device(const QString &serial)
{
    DeviceInfo info;
    info.setValue(DeviceInfo::SerialNumber, serial);
    info.setValue(DeviceInfo::Name, QStringLiteral("Reception"));
    info.setValue(DeviceInfo::FwVersion, QStringLiteral("1.5.90"));
    return info;
}

bool containsColor(const QImage &image, const QColor &color, const QRect &area)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixelColor(x, y) == color)
                return true;
    return false;
}

} // namespace

class TestDelegates : public QObject
{
    Q_OBJECT

private:
    QImage render(const QStyledItemDelegate &delegate, const QModelIndex &index, bool selected,
                  QSize size = QSize(420, 0))
    {
        QStyleOptionViewItem option;
        option.rect = QRect(QPoint(0, 0), QSize(size.width(), 10));
        option.font = QApplication::font();
        if (size.height() == 0)
            size.setHeight(delegate.sizeHint(option, index).height());
        option.rect = QRect(QPoint(0, 0), size);
        option.state = QStyle::State_Enabled | QStyle::State_Active;
        if (selected)
            option.state |= QStyle::State_Selected;
        option.backgroundBrush = QBrush(Qt::white);
        QImage image(size, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        delegate.paint(&painter, option, index);
        painter.end();
        return image;
    }

private slots:
    void batteryTexts_data()
    {
        QTest::addColumn<QVariant>("battery");
        QTest::addColumn<QString>("firmware");
        QTest::addColumn<QString>("expected");
        QTest::newRow("reported") << QVariant(80) << QStringLiteral("1.5.90") << QStringLiteral("Battery:  80%");
        QTest::newRow("reported zero") << QVariant(0) << QStringLiteral("1.5.90") << QStringLiteral("Battery:  0%");
        QTest::newRow("1.5.87 cannot report") << QVariant() << QStringLiteral("1.5.87") << QStringLiteral("Battery:  [please upgrade FW]");
        QTest::newRow("1.5.88 can") << QVariant() << QStringLiteral("1.5.88") << QStringLiteral("Battery:  [try again]");
        QTest::newRow("1.5.100 is newer, not older") << QVariant() << QStringLiteral("1.5.100") << QStringLiteral("Battery:  [try again]");
        QTest::newRow("1.10.0") << QVariant() << QStringLiteral("1.10.0") << QStringLiteral("Battery:  [try again]");
        QTest::newRow("unknown version") << QVariant() << QString() << QStringLiteral("Battery:  [please upgrade FW]");
    }

    void batteryTexts()
    {
        QFETCH(QVariant, battery);
        QFETCH(QString, firmware);
        QFETCH(QString, expected);
        DevicesModel model;
        DeviceInfo info = device(QStringLiteral("A"));
        info.setValue(DeviceInfo::FwVersion, firmware);
        if (battery.isValid())
            info.setValue(DeviceInfo::Battery, battery);
        model.addDevices({info});
        QCOMPARE(DeviceListDelegate::batteryText(model.index(0, 0)), expected);
    }

    void brightnessText()
    {
        DevicesModel model;
        DeviceInfo info = device(QStringLiteral("A"));
        model.addDevices({info});
        QCOMPARE(DeviceListDelegate::brightnessText(model.index(0, 0)), QStringLiteral("Brightness:  "));
        model.setValue(0, QStringLiteral("A"), DeviceInfo::Brightness, 55);
        model.setValue(0, QStringLiteral("A"), DeviceInfo::DimLevel, 10); // not the brightness
        QCOMPARE(DeviceListDelegate::brightnessText(model.index(0, 0)), QStringLiteral("Brightness:  55%"));
    }

    void sizeHints()
    {
        DevicesModel model;
        model.addDevices({device(QStringLiteral("A"))});
        QFont nine = QApplication::font();
        nine.setPointSize(9);
        model.setFont(nine);
        QFont seven = QApplication::font();
        seven.setPointSize(7);
        const int small = QFontMetrics(seven).height();
        const int line = QFontMetrics(nine).height();

        QStyleOptionViewItem option;
        option.rect = QRect(0, 0, 333, 20);
        const DeviceListDelegate full(DeviceListDelegate::FullCard);
        const DeviceListDelegate brief(DeviceListDelegate::ShortCard);
        QCOMPARE(full.sizeHint(option, model.index(0, 0)), QSize(333, small + 4 * line + 12));
        QCOMPARE(brief.sizeHint(option, model.index(0, 0)), QSize(333, small + 3 * line + 12));

        // A taller picture decides the height.
        QPixmap tall(40, 200);
        tall.fill(Qt::gray);
        model.setDecoration(tall);
        QCOMPARE(full.sizeHint(option, model.index(0, 0)).height(), 212);
    }

    void statusColours_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QColor>("color");
        QTest::newRow("connected") << 0 << QColor(40, 202, 66);
        QTest::newRow("transferring") << 1 << QColor(0, 184, 212);
        QTest::newRow("deleting") << 2 << QColor(0, 184, 212);
        QTest::newRow("upgrading") << 3 << QColor(255, 169, 50);
        QTest::newRow("error") << 4 << QColor(208, 2, 27);
    }

    void statusColours()
    {
        QFETCH(int, status);
        QFETCH(QColor, color);
        QCOMPARE(DeviceListDelegate::statusColor(status), color);
        DevicesModel model;
        DeviceInfo info = device(QStringLiteral("A"));
        info.setValue(DeviceInfo::Status, status);
        model.addDevices({info});
        const QImage image = render(DeviceListDelegate(DeviceListDelegate::FullCard), model.index(0, 0), false);
        QVERIFY(containsColor(image, color, image.rect()));
        QCOMPARE(DeviceListDelegate::statusColor(5).alpha(), 0);
    }

    void selectionAndNewMark()
    {
        DevicesModel model;
        DeviceInfo info = device(QStringLiteral("A"));
        info.setValue(DeviceInfo::NotActivated, true);
        model.addDevices({info});
        const QImage plain = render(DeviceListDelegate(DeviceListDelegate::FullCard), model.index(0, 0), false);
        const QImage selected = render(DeviceListDelegate(DeviceListDelegate::FullCard), model.index(0, 0), true);
        QCOMPARE(plain.pixelColor(1, 1), QColor(Qt::white));
        QCOMPARE(selected.pixelColor(1, 1), QColor(237, 237, 237));

        // "NEW" sits at the top right, in green, on the main page's card only.
        const QRect topRight(plain.width() - 80, 0, 80, 30);
        QVERIFY(containsColor(plain, QColor(15, 188, 15), topRight));
        const QImage brief = render(DeviceListDelegate(DeviceListDelegate::ShortCard), model.index(0, 0), false);
        QVERIFY(!containsColor(brief, QColor(15, 188, 15), brief.rect()));
        model.setValue(0, QStringLiteral("A"), DeviceInfo::NotActivated, false);
        const QImage activated = render(DeviceListDelegate(DeviceListDelegate::FullCard), model.index(0, 0), false);
        QVERIFY(!containsColor(activated, QColor(15, 188, 15), activated.rect()));
    }

    void logRowsRenderBoldText()
    {
        QStandardItemModel logs;
        logs.appendRow(new QStandardItem(QStringLiteral("plain words only")));
        logs.appendRow(new QStandardItem(QStringLiteral("<b>plain words only</b>")));
        const LogsDelegate delegate;
        const QImage plain = render(delegate, logs.index(0, 0), false, QSize(300, 30));
        const QImage bold = render(delegate, logs.index(1, 0), false, QSize(300, 30));
        auto darkPixels = [](const QImage &image) {
            int count = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (qGray(image.pixel(x, y)) < 128)
                        ++count;
            return count;
        };
        // Markup is rendered, not shown: the bold row has more ink, and no "<b>".
        QVERIFY(darkPixels(plain) > 0);
        QVERIFY(darkPixels(bold) > darkPixels(plain));
    }
};

QTEST_MAIN(TestDelegates)
#include "tst_ui_delegates.moc"
