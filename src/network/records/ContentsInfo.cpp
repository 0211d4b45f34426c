#include "ContentsInfo.h"

QStringList ContentsInfo::itemsWithoutSlideShows() const
{
    QSet<QString> slideShowIds;
    for (const SlideShowInfo &show : slideShows)
        slideShowIds.insert(show.uuid);
    QStringList items;
    for (const QString &id : contentIds) {
        if (!slideShowIds.contains(id))
            items.append(id);
    }
    return items;
}
