#pragma once

#include <QString>
#include <QVector>

// What every benchmark prints and how it gives up: lines on standard output
// (the last one holds the figures), "NAME: FAILED: why" on standard error with
// exit code 1, medians of the repeats, and the machine's load beside them.
namespace BenchReport {

void say(const QString &line);
[[noreturn]] void fail(const QString &why);
double median(QVector<double> values);
QString loadAverage();

} // namespace BenchReport
