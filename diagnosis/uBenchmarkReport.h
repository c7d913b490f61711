// The text of the "Benchmark results" box.
#pragma once

#include "uQarnDyn.h"

#include <QString>

// Three lines, "Echo of <size> bytes : " and the result, joined by CR LF,
// with no line break after the last.
QString BenchmarkReport(const TEchoAverage &average128, const TEchoAverage &average256,
                        const TEchoAverage &average768);
