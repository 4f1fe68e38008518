// Face lookup over the project's own fontconfig configuration (internal to the render folder).
// The configuration is pinned: it reads only /usr/share/fonts and resolves names through a fixed
// table, so the same name gives the same font file on every machine with the same packages.
#pragma once

#include <string>

#include "platform/types.h"

namespace pagewright {

struct TResolvedFace {
  std::string Path;     // font file, UTF-8
  int Index = 0;        // face index inside a collection file
  std::string Family;   // family name of the face found, UTF-8
  bool Bold = false;    // the face itself is bold
  bool Italic = false;  // the face itself is italic or oblique
};

// The face for a requested name and style. Never fails while any face is installed: an
// unknown or missing name falls back to the default sans face; with no font files at all it
// raises EInvalidOperation.
TResolvedFace ResolveFace(const WideString& name, bool bold, bool italic);

// The family a requested name is pinned to ("Arial" gives "Liberation Sans").
std::string PinnedFamily(const WideString& name);

// Frees the configuration and fontconfig's process-wide state (for leak checkers at exit).
void ReleaseFontConfig();

}  // namespace pagewright
