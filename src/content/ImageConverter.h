#pragma once

#include "ImageData.h"

#include <QObject>

class ImageProcessor;
class QThread;

// The image thread of the publishing pipeline: owns one worker thread and the
// ImageProcessor that runs on it, so that its user only enqueues and listens.
//
// Contract:
// - enqueue() (thread-safe) queues a copy of a downloaded file and starts the
//   worker when it is not running. When the worker ends while pictures are
//   still queued (one was queued just after the worker found the queue empty),
//   it is started again: every queued picture is converted.
// - Every enqueued item ends in exactly one of converted() and
//   conversionFailed(), delivered queued on this object's (the GUI) thread:
//   converted() carries the item with its device-ready frames (an item that is
//   no picture comes back unchanged); conversionFailed() carries the file's
//   link and a reason text (undecodable still, animation without a frame, a
//   decompression bomb). A failed item never comes back without frames as if
//   it had been converted.
// - The destructor asks the worker to stop between pictures (and between the
//   frames of an animation) and waits for it: it waits for at most the picture
//   being converted, never for the rest of the queue. Results not yet delivered
//   are dropped.
class ImageConverter : public QObject
{
    Q_OBJECT

public:
    explicit ImageConverter(QObject *parent = nullptr);
    ~ImageConverter() override;

    void enqueue(const ImageData &item);

    // The processor on the worker thread, for observers that must run there.
    ImageProcessor *processor() const { return m_processor; }

signals:
    void converted(ImageData imageData);
    void conversionFailed(QString link, QString reason);

private:
    QThread *m_thread;
    ImageProcessor *m_processor; // no parent: it lives on m_thread; deleted after the thread ends
};
