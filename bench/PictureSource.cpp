#include "PictureSource.h"

PictureSource::PictureSource(int size)
    : m_size(size)
{
}

QString PictureSource::nextId()
{
    return QString::number(m_nextId++);
}

QByteArray PictureSource::nextPicture()
{
    QByteArray bytes(m_size, Qt::Uninitialized);
    for (int i = 0; i < m_size; ++i)
        bytes[i] = char(m_random.bounded(256));
    return bytes;
}
