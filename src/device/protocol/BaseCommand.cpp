#include "BaseCommand.h"

#include "CommandErrors.h"
#include "Timings.h"

BaseCommand::BaseCommand(QObject *parent)
    : QObject(parent)
{
    connect(this, &BaseCommand::finished, this, &BaseCommand::slotDelete);
}

BaseCommand::~BaseCommand() = default;

QByteArray BaseCommand::request() const
{
    return plainRequest();
}

QByteArray BaseCommand::plainRequest() const
{
    return QByteArray(1, static_cast<char>(commandId())) + requestPayload();
}

void BaseCommand::processResponse(const QByteArray &answer)
{
    m_errorString.clear();
    m_response = answer;
    if (answer.size() < 3) {
        m_errorString = CommandErrors::responseTooShort();
        m_status = -1;
        return;
    }
    if (answer.size() > 3) {
        m_errorString = CommandErrors::responseTooLong();
        m_status = -1;
        return;
    }
    m_status = static_cast<quint8>(answer.at(0)) == commandId() ? static_cast<qint8>(answer.at(2))
                                                                 : qint8(-1);
    if (m_status >= 1) {
        const QString text = CommandErrors::plainText(m_status);
        m_errorString = text.isNull() ? CommandErrors::plainText(1) : text;
    }
}

ActivityLine BaseCommand::message(const QString &macAddress) const
{
    Q_UNUSED(macAddress)
    return ActivityLine(QString());
}

QString BaseCommand::logText() const
{
    return QStringLiteral("Command '%1' executed. Status code %2. Error: %3")
        .arg(name())
        .arg(int(m_status))
        .arg(m_errorString);
}

QByteArray BaseCommand::lastResponse() const
{
    return m_response;
}

int BaseCommand::delayMs() const
{
    return 0;
}

int BaseCommand::timeoutMs() const
{
    return Timings::ms(Timings::CommandWait);
}

int BaseCommand::statusCode() const
{
    return m_status;
}

bool BaseCommand::isBusy() const
{
    return false;
}

bool BaseCommand::isSuccess() const
{
    return m_status == 0;
}

bool BaseCommand::hasNextPart() const
{
    return false;
}

BaseCommand *BaseCommand::nextPart()
{
    return nullptr;
}

int BaseCommand::resultKey() const
{
    return NoResult;
}

QVariant BaseCommand::result() const
{
    return QVariant();
}

bool BaseCommand::isComplete(const QByteArray &answer) const
{
    return answer.size() >= 3;
}

int BaseCommand::maxAnswerSize() const
{
    return 3;
}

int BaseCommand::maxRetries() const
{
    return 1;
}

int BaseCommand::groupPosition() const
{
    return m_groupPosition;
}

void BaseCommand::setGroupPosition(int position)
{
    m_groupPosition = position;
}

int BaseCommand::retryCount() const
{
    return m_retryCount;
}

void BaseCommand::setRetryCount(int count)
{
    m_retryCount = count;
}

QString BaseCommand::errorString() const
{
    return m_errorString;
}

bool BaseCommand::autoDelete() const
{
    return m_autoDelete;
}

void BaseCommand::setAutoDelete(bool on)
{
    m_autoDelete = on;
}

void BaseCommand::slotDelete()
{
    if (m_autoDelete)
        deleteLater();
}

void BaseCommand::setStatus(int status)
{
    m_status = static_cast<qint8>(status);
}

void BaseCommand::setErrorString(const QString &text)
{
    m_errorString = text;
}

void BaseCommand::setResponse(const QByteArray &answer)
{
    m_response = answer;
}
