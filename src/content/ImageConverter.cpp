#include "ImageConverter.h"

#include "ImageProcessor.h"

#include <QThread>

ImageConverter::ImageConverter(QObject *parent)
    : QObject(parent)
    , m_thread(new QThread(this))
    , m_processor(new ImageProcessor)
{
    qRegisterMetaType<ImageData>("ImageData");
    m_thread->setObjectName(QStringLiteral("image thread"));
    m_processor->moveToThread(m_thread);
    connect(m_thread, &QThread::started, m_processor, &ImageProcessor::processQueue);
    // Direct: the worker leaves its event loop as soon as the queue is empty.
    connect(m_processor, &ImageProcessor::processingFinished, m_thread, &QThread::quit, Qt::DirectConnection);
    connect(m_thread, &QThread::finished, this, [this] {
        if (m_processor->hasQueued())
            m_thread->start();
    });
    connect(m_processor, &ImageProcessor::processedImage, this, &ImageConverter::converted);
    connect(m_processor, &ImageProcessor::conversionFailed, this, &ImageConverter::conversionFailed);
}

ImageConverter::~ImageConverter()
{
    m_thread->disconnect(this);
    m_thread->requestInterruption();
    m_thread->quit();
    m_thread->wait();
    delete m_processor;
}

void ImageConverter::enqueue(const ImageData &item)
{
    m_processor->enqueue(item);
    m_thread->start(); // nothing happens while it runs
}
