#include "ActivityLine.h"

ActivityLine::ActivityLine(const QString &line, const QStringList &values)
{
    m_text.reserve(line.size());
    for (int i = 0; i < line.size(); ++i) {
        const int number = i + 1 < line.size() && line.at(i) == QLatin1Char('%')
            ? line.at(i + 1).digitValue()
            : -1;
        if (number >= 1 && number <= values.size()) {
            m_text += values.at(number - 1).toHtmlEscaped();
            ++i;
        } else {
            m_text += line.at(i);
        }
    }
}
