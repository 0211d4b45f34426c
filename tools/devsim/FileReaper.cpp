#include "FileReaper.h"

#include <QFile>
#include <QThreadPool>

void FileReaper::remove(const QString &path)
{
    QThreadPool::globalInstance()->start([path] { QFile::remove(path); });
}

void FileReaper::waitForDone()
{
    QThreadPool::globalInstance()->waitForDone();
}
