// GS1 element strings written with application identifiers in parentheses, such as
// "(00)384123450000000073", turned into Code 128 escaped text.
#pragma once

#include <string>
#include <string_view>

namespace pagewright {

struct TpgwAICodesData {
  const char* AI;  // identifier pattern; "X" matches any character
  int AISize;      // digits of the identifier
  int DataMinSize;
  int DataMaxSize;
  bool FNC1;  // variable length: needs a separator when another element follows
};

// The table of application identifiers, searched in order; the first match wins.
const TpgwAICodesData* GS1AITable(int& count);

// The entry whose identifier, followed by ")", starts at text[pos]; nullptr when none.
const TpgwAICodesData* GS1FindAI(std::string_view text, size_t pos);

// Parses an element string into escaped Code 128 text: "&1;" (FNC1 after the start), then each
// element's identifier digits and data, variable-length elements other than the last followed by
// "&1;". Returns an empty string when the text does not parse.
std::string GS1ParseElementString(std::string_view text);

}  // namespace pagewright
