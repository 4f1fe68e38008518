// The page `pagewright serve` shows: HTML, CSS and a small script of our own, compiled into the
// program so that nothing is fetched at run time.
#pragma once

namespace pagewright::cli {

extern const char* const kServeIndexHtml;
extern const char* const kServeStyleCss;
extern const char* const kServeScriptJs;

}  // namespace pagewright::cli
