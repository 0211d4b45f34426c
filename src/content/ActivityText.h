#pragma once

#include <QString>

// Activity lines are shown as rich text: values that come from a device or the
// cloud (names, MACs, error texts) are escaped before they enter one.
namespace ActivityText {

inline QString escaped(const QString &value)
{
    return value.toHtmlEscaped();
}

} // namespace ActivityText
