#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// With --keep-content: every picture frame one device receives, as a file in
// FOLDER named SERIAL_ID_FRAME.EXT (the content id in decimal, the frame
// counted from 001, the extension from the bytes: jpg, png, gif, else bin), so
// that people and tests can look at what the device would show. A frame sent
// again replaces its file.
class ContentKeeper
{
public:
    ContentKeeper(const QString &folder, const QString &serial);

    QString pathFor(quint64 id, int frame, const QByteArray &bytes) const;
    void keep(quint64 id, int frame, const QByteArray &bytes);

private:
    QString m_folder;
    QString m_serial;
    bool m_failed = false; // one complaint per device is enough
};
