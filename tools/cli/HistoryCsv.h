#pragma once
#include <string>

#include "history/HistoryRecord.h"

namespace zp {

// The runs as comma-separated values for a spreadsheet (RFC 4180): one row per run and
// route, the run's columns repeated on each of its routes, a run without routes as one row
// with the route's columns empty; lines end in CR LF.
std::string HistoryCsvHeader();
std::string HistoryCsvRows(const HistoryRun& run);

// One field: quoted when it holds a comma, a quote or a line end, with quotes doubled.
// A text from outside that a spreadsheet would take for a formula (it starts with "=",
// "+", "-", "@", a tab or a carriage return) is kept as text by a leading apostrophe;
// control characters and bytes that are not UTF-8 are escaped as everywhere else.
std::string CsvText(const std::string& text);

}  // namespace zp
