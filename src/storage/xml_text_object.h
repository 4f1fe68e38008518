// Objects whose text a template keeps in the "Text" attribute (the text objects of a report).
// The serializer writes and reads the text through this interface, so it needs nothing else of
// the classes that implement it.
#pragma once

#include "platform/types.h"

namespace pagewright {

class IpgwXMLTextObject {
 public:
  virtual ~IpgwXMLTextObject() = default;
  // The text as a string list gives it: every line followed by carriage return plus line feed.
  virtual WideString XMLText() const = 0;
  virtual void SetXMLText(const WideString& text) = 0;
};

}  // namespace pagewright
