#pragma once

#include <QCommandLineOption>
#include <QString>

class QCommandLineParser;
class QTextStream;
struct ImageData;

// tamo-cli convert FILE... -o DIR [--preview]: what a device would receive for
// each picture file, written by the publishing pipeline's own conversion, so
// that a person can see it before publishing. Touches no device: it runs
// alongside the window.
//
// Each picture NAME (its file name without the last suffix) gives NAME.N.jpg,
// N counted from 1, one per frame; an animation's frames carry their display
// time, NAME.N.MSms.jpg. With --preview, NAME.preview.png adds what the round
// display shows. Written paths go to standard output, one a line; a picture
// that cannot be converted is named on standard error with the reason.
// Exit code 0; 1 when a picture failed or a file could not be written; 2 on
// wrong arguments.
class ConvertCommand
{
public:
    // Adds the command's options to the parser (before it processes them).
    explicit ConvertCommand(QCommandLineParser &parser);

    bool requested() const;
    // Whether the command's options were given, to another command.
    bool optionsGiven() const;
    int run(QTextStream &out, QTextStream &err) const;

private:
    bool write(const QString &file, const ImageData &converted, const QString &folder, QTextStream &out,
               QTextStream &err) const;

    const QCommandLineParser &m_parser;
    const QCommandLineOption m_output;
    const QCommandLineOption m_preview;
};
