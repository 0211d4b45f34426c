#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QtGlobal>

// What a device knows about itself and reports over both dialects.
struct DeviceIdentity
{
    QString usbSerial;      // USB serial number of its port
    QString name;           // Bluetooth advertisement name
    QByteArray mac;         // six bytes, most significant first (as written C4:4F:...)
    QString firmwareVersion;
    QString boardId;
    QString deviceSerial;
    QString plantNumber;
    int brightness = 80;    // percent
    int dimLevel = 30;      // percent
    int battery = 87;       // percent

    // "C4:4F:33:0A:0B:01"
    QString macText() const;
    // As the console prints it: "0xC4 0x4F 0x33 0xA 0xB 0x1".
    QString consoleMac() const;
    // The RPC answer: least significant byte first.
    QByteArray macOnWire() const;

    // Accepts six hex pairs separated by ':' or '-'.
    static bool parseMac(const QString &text, QByteArray *mac);
    // The MAC plus `steps`, carrying into the more significant bytes.
    static QByteArray macPlus(const QByteArray &mac, int steps);

    QJsonObject toJson() const;
};
