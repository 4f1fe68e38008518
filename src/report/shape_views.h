// Line and shape objects: views that paint simple graphics (lines with arrow heads, and seven
// outline shapes with the view's fill) in device pixels.
#pragma once

#include <cstdint>

#include "platform/properties.h"
#include "platform/types.h"
#include "report/view.h"

namespace pagewright {

enum TpgwShapeKind : uint8_t {
  skRectangle,
  skRoundRectangle,
  skEllipse,
  skTriangle,
  skDiamond,
  skDiagonal1,
  skDiagonal2
};
const TEnumInfo& TpgwShapeKindInfo();

// The base of line objects: a colour that only sets the canvas brush, and a tag.
class TpgwCustomLineView : public TpgwStretcheable {
 public:
  explicit TpgwCustomLineView(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
};

// A horizontal, vertical or diagonal line drawn with the frame's colour, style and width,
// with optional arrow heads at either end.
class TpgwLineView : public TpgwCustomLineView {
 public:
  explicit TpgwLineView(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  bool ArrowEnd() const { return FArrowEnd; }
  void SetArrowEnd(bool v) { FArrowEnd = v; }
  int ArrowLength() const { return FArrowLength; }
  void SetArrowLength(int v) { FArrowLength = v; }
  bool ArrowSolid() const { return FArrowSolid; }
  void SetArrowSolid(bool v) { FArrowSolid = v; }
  bool ArrowStart() const { return FArrowStart; }
  void SetArrowStart(bool v) { FArrowStart = v; }
  int ArrowWidth() const { return FArrowWidth; }
  void SetArrowWidth(int v) { FArrowWidth = v; }
  bool Diagonal() const { return FDiagonal; }
  void SetDiagonal(bool v) { FDiagonal = v; }

  using TpgwView::Draw;
  // A line that is not diagonal is made axis-parallel first (kept on the object).
  void Draw(TCanvas& canvas, Extended scaleX, Extended scaleY, Extended offsetX, Extended offsetY) override;

 private:
  // An arrow head with its tip at (x1, y1), the line running on to (x2, y2).
  void DrawArrow(int x1, int y1, int x2, int y2);
  void DrawArrows();

  bool FArrowEnd = false;
  int FArrowLength = 20;
  bool FArrowSolid = false;
  bool FArrowStart = false;
  int FArrowWidth = 5;
  bool FDiagonal = false;
};

// One of seven shapes, outlined with the frame and filled with the view's fill.
class TpgwShapeView : public TpgwView {
 public:
  explicit TpgwShapeView(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  int Curve() const { return FCurve; }
  void SetCurve(int v) { FCurve = v; }
  TpgwShapeKind Shape() const { return FShape; }
  void SetShape(TpgwShapeKind v) { FShape = v; }

  using TpgwView::Draw;
  void Draw(TCanvas& canvas, Extended scaleX, Extended scaleY, Extended offsetX, Extended offsetY) override;

 private:
  // Pen, brush and clipping for the current fill, then the outline in the device rectangle.
  void DrawShape(TCanvas& canvas);
  // The outline alone with the canvas's current pen and brush.
  void DrawOutline(TCanvas& canvas);
  // The outline as a clip shape (rectangle, rounded rectangle, ellipse or polygon).
  TClipShape OutlineClip() const;
  int CornerDiameter() const;

  int FCurve = 0;
  TpgwShapeKind FShape = skRectangle;
};

// Gives the class list the line and shape classes (start-up, before RegisterReportClasses).
void ProvideShapeClasses();

}  // namespace pagewright
