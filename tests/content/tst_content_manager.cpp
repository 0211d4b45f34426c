// Deletion and upload planning against a device's slots: what is already on the
// device is not sent again and never deleted, stale items go newest first until
// enough slots are free, and an animation counts one slot per frame and is
// named once.
#include "ContentManager.h"

#include <QtTest>

using SlideShowContents = QMap<QString, QStringList>;

namespace {

const QString kMac = QStringLiteral("c4:4f:33:0a:0b:01");

QStringList ids(const char *text)
{
    return QString::fromLatin1(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QStringList frames(const QString &uuid, int count)
{
    return QStringList(QVector<QString>(count, uuid).toList());
}

// Creation dates in the order given, oldest first.
QMap<QDateTime, QString> dated(const QStringList &uuids)
{
    QMap<QDateTime, QString> map;
    const QDateTime start(QDate(2024, 4, 1), QTime(8, 0), Qt::UTC);
    for (int i = 0; i < uuids.size(); ++i)
        map.insert(start.addSecs(60 * i), uuids.at(i));
    return map;
}

} // namespace

class TestContentManager : public QObject
{
    Q_OBJECT

private slots:
    void plansAgainstTheDevice_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("slideShows");
        QTest::addColumn<QStringList>("slideShowFiles");
        QTest::addColumn<QString>("firmware");
        QTest::addColumn<QStringList>("deviceImages");
        QTest::addColumn<QStringList>("deviceSlideShows");
        QTest::addColumn<int>("freeSlots");
        QTest::addColumn<QStringList>("datedOldestFirst");
        QTest::addColumn<SlideShowContents>("slideShowContents");
        QTest::addColumn<QStringList>("stale");         // asked for dates
        QTest::addColumn<QStringList>("deleteImages");  // "-": no deletion
        QTest::addColumn<QStringList>("deleteGifs");
        QTest::addColumn<QStringList>("deleteSlideShows");
        QTest::addColumn<QStringList>("upload");

        const QStringList none;
        const QStringList noDeletion{QStringLiteral("-")};
        QTest::newRow("firmware 1.5.26: no device check, everything uploaded")
            << ids("a b") << ids("s") << ids("p q") << "1.5.26" << none << none << 0 << none << SlideShowContents()
            << none << noDeletion << none << none << ids("a b s p q");
        QTest::newRow("everything already on the device: nothing deleted or sent")
            << ids("a") << ids("s") << ids("p") << "1.5.90" << ids("a p") << ids("s") << 100 << none
            << SlideShowContents() << none << noDeletion << none << none << none;
        QTest::newRow("enough free slots: stale items stay")
            << ids("a b") << none << none << "1.5.27" << ids("x") << none << 2 << ids("x") << SlideShowContents()
            << ids("x") << noDeletion << none << none << ids("a b");
        QTest::newRow("6 slots short: dated newest first, then undated from the end")
            << ids("f1 f2 f3 f4 f5 f6 f7 f8 f9 f10") << none << none << "1.5.90" << ids("P Q R U1 U2 U3 U4")
            << none << 4 << ids("P Q R") << SlideShowContents() << ids("P Q R U1 U2 U3 U4")
            << ids("R Q P U4 U3 U2") << none << none << ids("f1 f2 f3 f4 f5 f6 f7 f8 f9 f10");
        QTest::newRow("a stale animation counts its frames and is named once")
            << frames(QStringLiteral("n"), 12) << none << none << "1.5.90" << frames(QStringLiteral("g"), 5) + ids("x")
            << none << 0 << none << SlideShowContents() << ids("g x") << ids("x") << ids("g") << none
            << frames(QStringLiteral("n"), 12);
        QTest::newRow("a wanted item on the device is never deleted")
            << ids("a n1 n2") << none << ids("p") << "1.5.90" << ids("a z p") << none << 0 << ids("z")
            << SlideShowContents() << ids("z") << ids("z") << none << none << ids("n1 n2");
        QTest::newRow("a stale slideshow goes with one of its pictures, a wanted one stays")
            << ids("n1 n2") << ids("s2") << ids("w") << "1.5.90" << ids("z y w") << ids("s1 s2 s3") << 0
            << ids("s1 y z") << SlideShowContents{{"s1", ids("z")}, {"s2", ids("z w")}, {"s3", ids("y")}}
            << ids("z y s1 s3") << ids("z y") << none << ids("s1 s3") << ids("n1 n2");
    }

    void plansAgainstTheDevice()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, slideShows);
        QFETCH(QStringList, slideShowFiles);
        QFETCH(QString, firmware);
        QFETCH(QStringList, deviceImages);
        QFETCH(QStringList, deviceSlideShows);
        QFETCH(int, freeSlots);
        QFETCH(QStringList, datedOldestFirst);
        QFETCH(SlideShowContents, slideShowContents);
        QFETCH(QStringList, stale);
        QFETCH(QStringList, deleteImages);
        QFETCH(QStringList, deleteGifs);
        QFETCH(QStringList, deleteSlideShows);
        QFETCH(QStringList, upload);

        ContentPlan plan = ContentManager::plan(kMac, files, slideShows, slideShowFiles);
        const bool listed = !deviceImages.isEmpty() || !deviceSlideShows.isEmpty() || freeSlots > 0;
        QCOMPARE(ContentManager::canListContent(firmware), listed);
        ContentManager::Deletion deletion;
        if (listed) {
            QCOMPARE(ContentManager::applyListing(kMac, &plan, deviceImages, deviceSlideShows, freeSlots), stale);
            deletion = ContentManager::chooseDeletions(kMac, plan, dated(datedOldestFirst), slideShowContents);
        }
        if (deleteImages == QStringList{QStringLiteral("-")}) {
            QVERIFY(deletion.isEmpty());
        } else {
            QCOMPARE(deletion.images, deleteImages);
            QCOMPARE(deletion.gifs, deleteGifs);
            QCOMPARE(deletion.slideShows, deleteSlideShows);
        }
        QCOMPARE(ContentManager::uploadList(kMac, plan), upload);
    }
};

QTEST_GUILESS_MAIN(TestContentManager)
#include "tst_content_manager.moc"
