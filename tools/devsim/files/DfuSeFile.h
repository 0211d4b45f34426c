#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtGlobal>

// A DFU file in the layout that boot loaders of this microcontroller family
// take: a "DfuSe" prefix, targets (one per alternate setting) made of elements
// (an address and the bytes to write there), and the standard 16-byte DFU
// suffix with its checksum.
class DfuSeFile
{
public:
    static constexpr int kSuffixLength = 16;
    static constexpr quint16 kDfuSeVersion = 0x011A; // bcdDFU of such files
    static constexpr quint16 kBootVendor = 0x0483;
    static constexpr quint16 kBootProduct = 0xDF11;

    struct Element {
        quint32 address = 0;
        QByteArray data;
    };
    struct Target {
        int alternate = 0;
        bool named = false;
        QString name;
        QVector<Element> elements;
    };
    struct Suffix {
        bool valid = false;
        QString problem; // why it is not valid, in the upgrade tool's words
        quint16 bcdDevice = 0xFFFF;
        quint16 idProduct = 0xFFFF;
        quint16 idVendor = 0xFFFF;
        quint16 bcdDfu = 0;
        int length = 0;
    };
    struct Contents {
        bool valid = false;
        QString problem;
        QVector<Target> targets;
    };

    // One target (alternate setting 0) with one element, and a suffix.
    static QByteArray build(const QByteArray &data, quint32 address, const QString &targetName,
                            quint16 vendor = kBootVendor, quint16 product = kBootProduct);

    static Suffix readSuffix(const QByteArray &file);
    // Parses the bytes before the suffix.
    static Contents readContents(const QByteArray &withoutSuffix);
};
