#include "ActivityText.h"

QString ActivityText::fill(const QString &line, const QStringList &values)
{
    QString filled;
    filled.reserve(line.size());
    for (int i = 0; i < line.size(); ++i) {
        const int number = i + 1 < line.size() && line.at(i) == QLatin1Char('%')
            ? line.at(i + 1).digitValue()
            : -1;
        if (number >= 1 && number <= values.size()) {
            filled += values.at(number - 1).toHtmlEscaped();
            ++i;
        } else {
            filled += line.at(i);
        }
    }
    return filled;
}
