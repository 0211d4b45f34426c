// The converted-picture cache stays within its budget without losing what a
// campaign waits for: least recently used pictures go first, retained ones and
// placeholders never, and what went reads as absent so that it is fetched again.
#include "ImageCache.h"

#include <QtTest>

class TestContentCache : public QObject
{
    Q_OBJECT

private slots:
    void evictsWithinTheBudget_data()
    {
        // Each picture is about 1000 bytes; the budget of 2500 holds two.
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("converted"); // links left with frames, in order
        QTest::addColumn<QString>("pending");   // placeholders left

        QTest::newRow("least recently used goes first") << "put a; put b; get a; put c" << "ac" << "";
        QTest::newRow("retained before it arrives: never evicted") << "retain a; put a; put b; put c" << "ac" << "";
        QTest::newRow("retained pictures alone may exceed the budget")
            << "retain a; retain b; retain c; put a; put b; put c" << "abc" << "";
        QTest::newRow("released: evicted at once when over the budget")
            << "retain a; retain b; retain c; put a; put b; put c; release a" << "bc" << "";
        QTest::newRow("retained twice, released once: kept")
            << "retain a; retain a; put a; put b; put c; release a; put d" << "ad" << "";
        QTest::newRow("placeholders cost nothing and stay") << "wait x; put a; put b; put c" << "bc" << "x";
        QTest::newRow("a converted picture replaces its placeholder") << "wait a; put a; put b" << "ab" << "";
        QTest::newRow("a smaller budget evicts at once") << "put a; put b; budget 1500" << "b" << "";
    }

    void evictsWithinTheBudget()
    {
        QFETCH(QString, script);
        QFETCH(QString, converted);
        QFETCH(QString, pending);

        ImageCache cache(2500);
        for (const QString &step : script.split(QStringLiteral("; "))) {
            const QString verb = step.section(QLatin1Char(' '), 0, 0), link = step.section(QLatin1Char(' '), 1);
            if (verb == QLatin1String("put"))
                cache.insert(ImageData(0, link, {ImageFrame{QByteArray(1000, 'x'), 0}}));
            else if (verb == QLatin1String("wait"))
                cache.insertPlaceholder(1, link);
            else if (verb == QLatin1String("get"))
                QVERIFY(cache.value(link).isValid());
            else if (verb == QLatin1String("retain"))
                cache.retain(link);
            else if (verb == QLatin1String("release"))
                cache.release(link);
            else if (verb == QLatin1String("budget"))
                cache.setBudget(link.toLongLong());
            else
                QFAIL(qPrintable(step));
        }
        qint64 bytes = 0;
        for (const QChar c : QStringLiteral("abcdx")) {
            const QString link(c);
            QCOMPARE(cache.isConverted(link), converted.contains(c));
            QCOMPARE(cache.isPending(link), pending.contains(c));
            QCOMPARE(cache.contains(link), converted.contains(c) || pending.contains(c));
            const ImageData value = cache.value(link);
            QCOMPARE(value.isValid(), converted.contains(c));
            if (cache.contains(link))
                QCOMPARE(value.link, link);
            if (value.isValid())
                bytes += value.frames.first().data.size();
        }
        QVERIFY(cache.usedBytes() >= bytes && cache.usedBytes() < bytes + 200);
    }
};

QTEST_GUILESS_MAIN(TestContentCache)
#include "tst_content_cache.moc"
