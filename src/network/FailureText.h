#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

class QUrl;

// The reasons a call to the cloud ends with where the cloud's own words are
// missing or cannot be shown as they came: never empty, plain text (escaping
// happens where a line becomes rich text), one line of bounded length from
// whatever an error page held.
class FailureText
{
    Q_DECLARE_TR_FUNCTIONS(FailureText)

public:
    // The longest line taken from an answer that is not the cloud's JSON.
    static constexpr int MaxLineLength = 120;

    // "HTTP 502 Bad Gateway: <the body's first line of text>"; the body's part
    // is left out when it has no text or only repeats the status line.
    static QString httpAnswer(int status, const QByteArray &reasonPhrase, const QByteArray &contentType,
                              const QByteArray &body);
    // The first line of the body that holds text, trimmed and cut to
    // MaxLineLength characters; the tags of an HTML page are left out.
    static QString firstLine(const QByteArray &body, bool html);
    static bool looksLikeHtml(const QByteArray &contentType, const QByteArray &body);

    static QString proxyNeedsCredentials(const QString &proxyHost);
    static QString proxyRefusedCredentials(const QString &proxyHost);
    static QString tooLarge(const QString &what, qint64 limitBytes);
    static QString linkRefused(const QUrl &link);
};
