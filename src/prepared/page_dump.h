// The prepared pages as text, for tests and for looking at a run: one line per band and per
// object, in page order, the same for the same run.
#pragma once

#include <iosfwd>

namespace pagewright {

class TpgwPreviewPages;

// Lines of tab-separated fields: page number (1-based), band name, object name ("-" on the
// band's own line, "(fill)" for a band's fill), left, top, width and height in pixels with two
// decimals, and the shown text with line breaks as "\n".
void DumpPreparedPages(TpgwPreviewPages& pages, std::ostream& out);

}  // namespace pagewright
