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
