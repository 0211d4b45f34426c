// The plain records carried from the cloud towards the devices: what makes a
// file a picture, a placeholder, or a campaign's single item.
#include "ContentsInfo.h"
#include "ImageData.h"
#include "UrlData.h"

#include <QtTest>

class TestNetRecords : public QObject
{
    Q_OBJECT

private slots:
    void fileTypeCodes_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("image");
        QTest::addColumn<bool>("gif");
        QTest::newRow("undefined (firmware, unknown format)") << int(UndefinedType) << false << false;
        QTest::newRow("still picture") << int(ImageType) << true << false;
        QTest::newRow("animation") << int(GifType) << false << true;
    }

    void fileTypeCodes()
    {
        QFETCH(int, type);
        QFETCH(bool, image);
        QFETCH(bool, gif);
        UrlData file;
        QCOMPARE(file.isImage() || file.isGif(), false); // a new link is no picture
        file.type = type;
        const ImageData data(type, QStringLiteral("l"), {});
        QCOMPARE(file.isImage(), image);
        QCOMPARE(file.isGif(), gif);
        QCOMPARE(data.isImage(), image);
        QCOMPARE(data.isGif(), gif);
    }

    void signedLinkAndValidity()
    {
        UrlData file;
        file.link = QStringLiteral("https://files.test/a.gif");
        file.signature = QStringLiteral("sig=1");
        QCOMPARE(file.signedLink(), QStringLiteral("https://files.test/a.gif?sig=1"));
        // Validity counts frames only: one empty frame makes a converted file.
        ImageData data(GifType, file.link, {});
        QVERIFY(!data.isValid());
        data.frames.append(ImageFrame{});
        QVERIFY(data.isValid());
    }

    void itemsLeaveOutSlideShows()
    {
        ContentsInfo info;
        info.contentIds = QStringList{"5", "9", "12", "9"};
        SlideShowInfo show;
        show.uuid = QStringLiteral("9");
        info.slideShows.append(show);
        QCOMPARE(info.itemsWithoutSlideShows(), (QStringList{"5", "12"}));
    }
};

QTEST_GUILESS_MAIN(TestNetRecords)
#include "tst_net_records.moc"
