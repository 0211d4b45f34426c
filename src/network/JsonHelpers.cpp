#include "JsonHelpers.h"

#include <QDebug>
#include <QJsonDocument>
#include <QSet>
#include <QStringList>
#include <QVariant>

#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

namespace {

// The text of the string literal that starts at `at` (a double quote), with its
// escapes decoded; `at` ends on the closing quote.
QString stringLiteral(const QByteArray &json, int &at)
{
    const int start = at;
    bool escaped = false;
    for (++at; at < json.size() && json.at(at) != '"'; ++at) {
        if (json.at(at) == '\\') {
            escaped = true;
            ++at;
        }
    }
    const QByteArray literal = json.mid(start, at - start + 1);
    if (!escaped)
        return QString::fromUtf8(literal.mid(1, literal.size() - 2));
    // Qt decodes the escapes; a lone string in an array cannot have the fault.
    return QJsonDocument::fromJson("[" + literal + "]").array().at(0).toString();
}

// Qt's parser refuses documents nested deeper than this.
constexpr std::size_t kMaxDepth = 1024;

enum class Structure { Acceptable, NamesAMemberTwice, TooDeep };

// A scan of the structure only: strings, brackets and commas. Malformed text is
// left for the parser to refuse. The scan stops where Qt's parser would give up
// on the depth, so what it holds stays bounded by that depth and by the names
// the text itself spells out.
Structure scanStructure(const QByteArray &json)
{
    struct Level {
        bool object;
        bool expectName;
        QSet<QString> names;
    };
    std::vector<Level> levels;
    for (int at = 0; at < json.size(); ++at) {
        switch (json.at(at)) {
        case '"': {
            const QString text = stringLiteral(json, at);
            if (!levels.empty() && levels.back().expectName) {
                Level &level = levels.back();
                if (level.names.contains(text))
                    return Structure::NamesAMemberTwice;
                level.names.insert(text);
                level.expectName = false;
            }
            break;
        }
        case '{':
        case '[':
            if (levels.size() == kMaxDepth)
                return Structure::TooDeep;
            levels.push_back({json.at(at) == '{', json.at(at) == '{', {}});
            break;
        case '}':
        case ']':
            if (!levels.empty())
                levels.pop_back();
            break;
        case ',':
            if (!levels.empty())
                levels.back().expectName = levels.back().object;
            break;
        default:
            break;
        }
    }
    return Structure::Acceptable;
}

} // namespace

RawHeaders jsonHeaders()
{
    return {{QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/json")}};
}

RawHeaders multipartHeaders()
{
    return {{QByteArrayLiteral("Content-Type"), QByteArrayLiteral("multipart/form-data")}};
}

RawHeaders formHeaders()
{
    return {{QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/x-www-form-urlencoded")}};
}

QByteArray jsonObjectToBytes(const QJsonObject &object)
{
    if (object.isEmpty())
        return {};
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

QByteArray jsonArrayToBytes(const QJsonArray &array)
{
    if (array.isEmpty())
        return {};
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

QJsonDocument parseJson(const QByteArray &bytes)
{
    switch (scanStructure(bytes)) {
    case Structure::Acceptable:
        break;
    case Structure::NamesAMemberTwice:
        qWarning() << "Ignored a JSON text that names a member twice";
        return {};
    case Structure::TooDeep:
        qWarning() << "Ignored a JSON text nested deeper than" << kMaxDepth << "levels";
        return {};
    }
    return QJsonDocument::fromJson(bytes);
}

QJsonObject bytesToJsonObject(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return {};
    return parseJson(bytes).object();
}

QJsonArray bytesToJsonArray(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return {};
    return parseJson(bytes).array();
}

QString errorTextFromJson(const QByteArray &bytes)
{
    const QJsonObject object = bytesToJsonObject(bytes);
    QStringList parts;
    // QJsonObject iterates in sorted key order.
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        const QJsonValue value = it.value();
        if (value.isString()) {
            parts.append(value.toString());
        } else if (value.isObject()) {
            const QJsonObject inner = value.toObject();
            for (auto in = inner.constBegin(); in != inner.constEnd(); ++in)
                parts.append(in.value().toString());
        } else if (value.isArray()) {
            const QJsonArray array = value.toArray();
            for (const QJsonValue &element : array)
                parts.append(element.toString());
        }
    }
    return parts.join(QLatin1Char('\n'));
}

qint64 jsonInteger(const QJsonValue &value)
{
    if (!value.isDouble())
        return 0;
    // Integers that the parser kept exact come back exact; others are rounded
    // towards zero within the 64-bit range.
    const QVariant exact = value.toVariant();
    if (exact.userType() == QMetaType::LongLong || exact.userType() == QMetaType::Int)
        return exact.toLongLong();
    const double d = value.toDouble();
    if (!std::isfinite(d))
        return 0;
    if (d >= 9.2233720368547758e18)
        return std::numeric_limits<qint64>::max();
    if (d <= -9.2233720368547758e18)
        return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(d);
}

QString jsonIntegerText(const QJsonValue &value)
{
    return QString::number(jsonInteger(value));
}
