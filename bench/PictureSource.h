#pragma once

#include <QByteArray>
#include <QRandomGenerator>
#include <QString>

// A fresh identifier and fresh bytes for every transfer, so that no transfer
// meets an item already stored and a snapshot check cannot pass by chance.
class PictureSource
{
public:
    explicit PictureSource(int size);

    QString nextId();
    QByteArray nextPicture();

private:
    int m_size;
    quint64 m_nextId = 7100000000000000001ULL;
    QRandomGenerator m_random{20240611u};
};
