// The run as metrics: one family per thing a fleet's monitoring follows,
// a step that did not run without samples.
#pragma once

#include "uMetricsText.h"
#include "uRunOutcome.h"

#include <vector>

std::vector<TMetricFamily> MetricsReport(const TRunOutcome &outcome);

// The textfile's name in the folder of --textfile.
QString MetricsTextFileName();
