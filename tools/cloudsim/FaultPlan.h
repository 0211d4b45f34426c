#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <mutex>

// Faults asked for on the command line. Each names a path below the API base
// ("signin/", "user/7"), or below the server root for file links ("files/*");
// a trailing "*" matches any rest, "@N" after the path limits the fault to its
// first N matching requests, and "%P" to a random P percent of them.
class FaultPlan
{
public:
    enum class Kind {
        Fail,            // answer a status without running the endpoint
        Reply,           // answer a canned body without running the endpoint
        Malformed,       // run the endpoint, then send half of its body
        CloseMidAnswer,  // run the endpoint, send the headers and half the body, close
        SlowBody,        // run the endpoint, send the headers, then the body slowly
        Chunked,         // run the endpoint, send the body in chunks, without a length
    };
    struct Fault {
        Kind kind = Kind::Fail;
        int status = 0;
        QString message;      // Fail: a JSON error message; empty for an HTML page
        QByteArray body;      // Reply
        QByteArray contentType; // Reply: by the file's suffix (.html, .txt; JSON otherwise)
        int pauseMs = 0;      // SlowBody: before each part of the body
    };

    // PATH[@N]=STATUS[:MESSAGE]
    bool addFail(const QString &text, QString *error);
    // PATH[@N]=[STATUS:]FILE
    bool addReply(const QString &text, QString *error);
    // PATH[@N]
    bool addMalformed(const QString &text, QString *error);
    bool addCloseMidAnswer(const QString &text, QString *error);
    bool addChunked(const QString &text, QString *error);
    // PATH[@N]=MS
    bool addSlowBody(const QString &text, QString *error);

    // The first rule of this kind that matches the path, counted as used.
    bool take(Kind kind, const QString &path, Fault *fault);

    static QString kindName(Kind kind);

private:
    struct Rule {
        QString pattern;
        int remaining = -1;   // -1: every time
        int percent = 100;    // the share of matching requests it hits
        Fault fault;
    };
    bool addRule(const QString &pathPart, const Fault &fault, QString *error);

    std::mutex m_mutex;
    QList<Rule> m_rules;
};
