// Metafiles: a recording of canvas calls (a display list) that replays on any canvas, scaled
// into any rectangle, so vector drawings stay sharp at every resolution.
#pragma once

#include <memory>

#include "render/canvas.h"

namespace pagewright {

class TMetafile : public TGraphic {
 public:
  TMetafile();
  TMetafile(int width, int height);
  ~TMetafile() override;
  TMetafile(const TMetafile&) = delete;
  TMetafile& operator=(const TMetafile&) = delete;

  // The size in logical units (the recording canvas's pixels).
  int Width() const override;
  int Height() const override;
  void SetSize(int width, int height);
  // The recording canvas: everything drawn on it is appended to the metafile.
  TCanvas& Canvas();
  // Forgets every recorded call.
  void Clear();
  // Takes over the size, the recording and the transparency of another metafile.
  void Assign(const TMetafile& source);
  size_t RecordCount() const;

  // Replays the recording scaled from (0, 0, Width, Height) onto rect.
  void Draw(TCanvas& canvas, const TRect& rect) const override;
  // Replays with explicit scales and offset: x -> offsetX + Round(x * scaleX). The target's
  // pen, brush, font, background and clip are restored afterwards; recorded clipping only
  // narrows the target's own clip.
  void Play(TCanvas& canvas, double scaleX, double scaleY, int offsetX, int offsetY) const;
  std::unique_ptr<TGraphic> Clone() const override;

  struct Impl;

 private:
  std::unique_ptr<Impl> FImpl;
};

}  // namespace pagewright
