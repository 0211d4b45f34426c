#include "FaultPlan.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>

bool FaultPlan::addRule(const QString &pathPart, const Fault &fault, QString *error)
{
    static const QRegularExpression form(QStringLiteral("^([^@%]+?)(?:@([0-9]+)|%([0-9]{1,2}))?$"));
    const QRegularExpressionMatch match = form.match(pathPart);
    if (!match.hasMatch()) {
        *error = QStringLiteral("'%1' is not PATH, PATH@N or PATH%P").arg(pathPart);
        return false;
    }
    Rule rule;
    rule.pattern = match.captured(1);
    if (rule.pattern.startsWith(QLatin1Char('/')))
        rule.pattern.remove(0, 1);
    rule.remaining = match.captured(2).isEmpty() ? -1 : match.captured(2).toInt();
    rule.percent = match.captured(3).isEmpty() ? 100 : match.captured(3).toInt();
    rule.fault = fault;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rules.append(rule);
    return true;
}

bool FaultPlan::addFail(const QString &text, QString *error)
{
    static const QRegularExpression form(QStringLiteral("^(.+?)=([1-5][0-9][0-9])(?::(.*))?$"),
                                         QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch()) {
        *error = QStringLiteral("--fail '%1': expected PATH[@N]=STATUS[:MESSAGE]").arg(text);
        return false;
    }
    Fault fault;
    fault.kind = Kind::Fail;
    fault.status = match.captured(2).toInt();
    fault.message = match.captured(3);
    return addRule(match.captured(1), fault, error);
}

bool FaultPlan::addReply(const QString &text, QString *error)
{
    const int equals = text.indexOf(QLatin1Char('='));
    if (equals <= 0) {
        *error = QStringLiteral("--reply '%1': expected PATH[@N]=[STATUS:]FILE").arg(text);
        return false;
    }
    Fault fault;
    fault.kind = Kind::Reply;
    fault.status = 200;
    QString file = text.mid(equals + 1);
    static const QRegularExpression withStatus(QStringLiteral("^([1-5][0-9][0-9]):(.+)$"));
    const QRegularExpressionMatch match = withStatus.match(file);
    if (match.hasMatch()) {
        fault.status = match.captured(1).toInt();
        file = match.captured(2);
    }
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("--reply '%1': cannot read %2").arg(text, file);
        return false;
    }
    fault.body = input.readAll();
    // A gateway's page or a bare text answer instead of the service's JSON.
    if (file.endsWith(QLatin1String(".html")) || file.endsWith(QLatin1String(".htm")))
        fault.contentType = "text/html; charset=utf-8";
    else if (file.endsWith(QLatin1String(".txt")))
        fault.contentType = "text/plain; charset=utf-8";
    else
        fault.contentType = "application/json";
    return addRule(text.left(equals), fault, error);
}

bool FaultPlan::addMalformed(const QString &text, QString *error)
{
    Fault fault;
    fault.kind = Kind::Malformed;
    return addRule(text, fault, error);
}

bool FaultPlan::addCloseMidAnswer(const QString &text, QString *error)
{
    Fault fault;
    fault.kind = Kind::CloseMidAnswer;
    return addRule(text, fault, error);
}

bool FaultPlan::addChunked(const QString &text, QString *error)
{
    Fault fault;
    fault.kind = Kind::Chunked;
    return addRule(text, fault, error);
}

bool FaultPlan::addSlowBody(const QString &text, QString *error)
{
    static const QRegularExpression form(QStringLiteral("^(.+)=([0-9]{1,6})$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch()) {
        *error = QStringLiteral("--slow-body '%1': expected PATH[@N]=MS").arg(text);
        return false;
    }
    Fault fault;
    fault.kind = Kind::SlowBody;
    fault.pauseMs = match.captured(2).toInt();
    return addRule(match.captured(1), fault, error);
}

bool FaultPlan::take(Kind kind, const QString &path, Fault *fault)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (Rule &rule : m_rules) {
        if (rule.fault.kind != kind || rule.remaining == 0)
            continue;
        const bool matches = rule.pattern.endsWith(QLatin1Char('*'))
            ? path.startsWith(rule.pattern.left(rule.pattern.size() - 1))
            : path == rule.pattern;
        if (!matches || (rule.percent < 100 && int(QRandomGenerator::global()->bounded(100)) >= rule.percent))
            continue;
        if (rule.remaining > 0)
            --rule.remaining;
        *fault = rule.fault;
        return true;
    }
    return false;
}

QString FaultPlan::kindName(Kind kind)
{
    switch (kind) {
    case Kind::Fail: return QStringLiteral("fail");
    case Kind::Reply: return QStringLiteral("reply");
    case Kind::Malformed: return QStringLiteral("malformed");
    case Kind::CloseMidAnswer: return QStringLiteral("close-mid-answer");
    case Kind::SlowBody: return QStringLiteral("slow-body");
    case Kind::Chunked: return QStringLiteral("chunked");
    }
    return QString();
}
