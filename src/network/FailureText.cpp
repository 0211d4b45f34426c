#include "FailureText.h"

#include <QRegularExpression>
#include <QUrl>

namespace {

// Error pages are short; a long answer is not read to its end for one line.
constexpr int kScannedBytes = 64 * 1024;

// Removes every stretch from an opening text to the next closing text; an
// opening text without its closing one ends the removals. Linear, whatever the
// page: a hostile one full of openers costs one scan each.
void removeStretches(QString &page, const QString &open, const QString &close)
{
    int from = 0;
    for (;;) {
        const int start = page.indexOf(open, from, Qt::CaseInsensitive);
        if (start < 0)
            return;
        const int end = page.indexOf(close, start + open.size(), Qt::CaseInsensitive);
        if (end < 0)
            return;
        page.remove(start, end + close.size() - start);
        from = start;
    }
}

QString withoutMarkup(QString page)
{
    // Block elements end a line of the page; other tags only separate words.
    static const QRegularExpression block(
        QStringLiteral("</?(p|div|h[1-6]|li|tr|table|pre|center|title|br|hr|body|ul|ol|section|header|"
                       "footer|article|blockquote|main|nav)\\b[^>]*>?"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression tag(QStringLiteral("<[^>]*>?"));
    removeStretches(page, QStringLiteral("<!--"), QStringLiteral("-->"));
    // What a browser does not show: the head (its title mostly repeats the
    // heading), scripts and styles.
    removeStretches(page, QStringLiteral("<head"), QStringLiteral("</head>"));
    removeStretches(page, QStringLiteral("<script"), QStringLiteral("</script>"));
    removeStretches(page, QStringLiteral("<style"), QStringLiteral("</style>"));
    page.replace(block, QStringLiteral("\n"));
    page.replace(tag, QStringLiteral(" "));
    page.replace(QLatin1String("&nbsp;"), QLatin1String(" "));
    page.replace(QLatin1String("&lt;"), QLatin1String("<"));
    page.replace(QLatin1String("&gt;"), QLatin1String(">"));
    page.replace(QLatin1String("&quot;"), QLatin1String("\""));
    page.replace(QLatin1String("&#39;"), QLatin1String("'"));
    page.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return page;
}

} // namespace

bool FailureText::looksLikeHtml(const QByteArray &contentType, const QByteArray &body)
{
    return contentType.toLower().contains("html") || body.trimmed().startsWith('<');
}

QString FailureText::firstLine(const QByteArray &body, bool html)
{
    QString text = QString::fromUtf8(body.left(kScannedBytes));
    if (html)
        text = withoutMarkup(text);
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("[\\r\\n]")));
    for (QString line : lines) {
        for (QChar &c : line) {
            if (!c.isPrint())
                c = QLatin1Char(' ');
        }
        line = line.simplified();
        if (line.isEmpty())
            continue;
        if (line.size() > MaxLineLength)
            line = line.left(MaxLineLength - 1) + QChar(0x2026); // an ellipsis
        return line;
    }
    return QString();
}

QString FailureText::httpAnswer(int status, const QByteArray &reasonPhrase, const QByteArray &contentType,
                                const QByteArray &body)
{
    const QString reason = QString::fromLatin1(reasonPhrase).simplified().left(MaxLineLength);
    const QString statusLine = reason.isEmpty() ? QStringLiteral("HTTP %1").arg(status)
                                                : QStringLiteral("HTTP %1 %2").arg(status).arg(reason);
    const QString line = firstLine(body, looksLikeHtml(contentType, body));
    if (line.isEmpty() || statusLine.contains(line, Qt::CaseInsensitive))
        return statusLine;
    return statusLine + QStringLiteral(": ") + line;
}

QString FailureText::proxyNeedsCredentials(const QString &proxyHost)
{
    return tr("the proxy at %1 needs a user name and password").arg(proxyHost);
}

QString FailureText::proxyRefusedCredentials(const QString &proxyHost)
{
    return tr("the proxy at %1 refused the user name and password").arg(proxyHost);
}

QString FailureText::tooLarge(const QString &what, qint64 limitBytes)
{
    return tr("The %1 is larger than the %2 MiB allowed").arg(what).arg(limitBytes / (1024 * 1024));
}

QString FailureText::linkRefused(const QUrl &link)
{
    if (link.isEmpty())
        return tr("The cloud gave no link to fetch");
    return tr("The link %1 was not fetched: files come only over https")
        .arg(link.toDisplayString(QUrl::RemoveQuery | QUrl::RemoveUserInfo | QUrl::RemoveFragment));
}
