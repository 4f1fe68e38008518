#include "render/fonts.h"

#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H
#include <hb-ot.h>
#include <hb.h>

#include <array>
#include <atomic>
#include <cmath>
#include <fstream>
#include <limits>
#include <map>
#include <mutex>
#include <tuple>
#include <unordered_map>

#include "platform/exceptions.h"
#include "render/font_config.h"
#include "render/font_internal.h"

namespace pagewright {

// ---------------------------------------------------------------------------------------------
// TFont

void TFont::CopyFrom(const TFont& o) {
  FName = o.FName;
  FHeight = o.FHeight;
  FWidth = o.FWidth;
  FStyle = o.FStyle;
  FColor = o.FColor;
  FCharset = o.FCharset;
  FOrientation = o.FOrientation;
  FPitch = o.FPitch;
  FQuality = o.FQuality;
  FPixelsPerInch = o.FPixelsPerInch;
}

void TFont::Assign(const TFont& other) {
  CopyFrom(other);
  Changed();
}

bool TFont::SameAs(const TFont& o) const {
  return FName == o.FName && FHeight == o.FHeight && FWidth == o.FWidth && FStyle == o.FStyle &&
         FColor == o.FColor && FCharset == o.FCharset && FOrientation == o.FOrientation &&
         FPitch == o.FPitch && FQuality == o.FQuality && PixelsPerInch() == o.PixelsPerInch();
}

void TFont::SetName(const WideString& v) {
  if (v == FName) return;
  FName = v;
  Changed();
}
void TFont::SetWidth(int v) {
  if (v < 0) v = -v;
  if (v == FWidth) return;
  FWidth = v;
  Changed();
}
void TFont::SetHeight(int v) {
  if (v == FHeight) return;
  FHeight = v;
  Changed();
}
// Points and pixels convert with the platform's MulDiv: rounding halves away from zero.
static int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  long double v = static_cast<long double>(a) * b / c;
  return static_cast<int>(v < 0 ? -std::floor(-v + 0.5L) : std::floor(v + 0.5L));
}
int TFont::Size() const {
  return -MulDiv(FHeight, 72, PixelsPerInch());
}
void TFont::SetSize(int points) {
  SetHeight(-MulDiv(points, PixelsPerInch(), 72));
}
void TFont::SetStyle(TFontStyles v) {
  if (v == FStyle) return;
  FStyle = v;
  Changed();
}
void TFont::SetColor(TColor v) {
  if (v == FColor) return;
  FColor = v;
  Changed();
}
void TFont::SetCharset(uint8_t v) {
  if (v == FCharset) return;
  FCharset = v;
  Changed();
}
void TFont::SetOrientation(int v) {
  if (v == FOrientation) return;
  FOrientation = v;
  Changed();
}
void TFont::SetPitch(TFontPitch v) {
  if (v == FPitch) return;
  FPitch = v;
  Changed();
}
void TFont::SetQuality(TFontQuality v) {
  if (v == FQuality) return;
  FQuality = v;
  Changed();
}

// ---------------------------------------------------------------------------------------------
// Library handles

namespace {

struct HbBlobDeleter {
  void operator()(hb_blob_t* p) const { hb_blob_destroy(p); }
};
struct HbFaceDeleter {
  void operator()(hb_face_t* p) const { hb_face_destroy(p); }
};
struct HbFontDeleter {
  void operator()(hb_font_t* p) const { hb_font_destroy(p); }
};
struct CairoFaceDeleter {
  void operator()(cairo_font_face_t* p) const { cairo_font_face_destroy(p); }
};

// FreeType's library object is shared; creating and destroying faces goes through this lock.
std::recursive_mutex& LibraryMutex() {
  static std::recursive_mutex m;
  return m;
}
struct FtLibraryDeleter {
  void operator()(FT_Library lib) const { FT_Done_FreeType(lib); }
};
using FtLibraryPtr = std::unique_ptr<FT_LibraryRec_, FtLibraryDeleter>;
// Kept for the whole process (released only by ReleaseGraphicsResources), so that no face
// outlives it during static destruction.
FtLibraryPtr& LibrarySlot() {
  static FtLibraryPtr* lib = new FtLibraryPtr;
  return *lib;
}
FT_Library Library() {
  FtLibraryPtr& slot = LibrarySlot();
  if (!slot) {
    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib) != 0) throw EOutOfMemory("Cannot initialise the font rasteriser");
    slot.reset(lib);
  }
  return slot.get();
}

struct FtFaceDeleter {
  void operator()(FT_Face f) const {
    std::lock_guard<std::recursive_mutex> lock(LibraryMutex());
    FT_Done_Face(f);
  }
};
using FtFacePtr = std::unique_ptr<FT_FaceRec_, FtFaceDeleter>;
using Bytes = std::shared_ptr<const std::vector<uint8_t>>;

FtFacePtr OpenFace(const Bytes& bytes, int index) {
  std::lock_guard<std::recursive_mutex> lock(LibraryMutex());
  FT_Face face = nullptr;
  if (FT_New_Memory_Face(Library(), bytes->data(), static_cast<FT_Long>(bytes->size()), index, &face) != 0)
    throw EInvalidOperation("Cannot open the font file");
  return FtFacePtr(face);
}

// The whole file in one read (a font file is a few hundred kilobytes; reading it character by
// character cost more than everything else the face needs).
Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) throw EFOpenError("Cannot open font file \"" + path + "\"");
  const std::streamoff size = in.tellg();
  // A font file holds 32-bit offsets: anything larger is not one we can use.
  if (size < 0 || size > std::streamoff{0xFFFFFFFF}) throw EInvalidOperation("Cannot read font file \"" + path + "\"");
  auto data = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(size));
  in.seekg(0);
  if (size > 0 && !in.read(reinterpret_cast<char*>(data->data()), size))
    throw EInOutError("Cannot read font file \"" + path + "\"");
  return data;
}

// Keeps the face Cairo draws with (and the bytes under it) alive for as long as Cairo holds the
// font face, which can be longer than our cache when Cairo keeps recently used fonts.
struct CairoFaceOwner {
  Bytes bytes;
  FtFacePtr face;
};
const cairo_user_data_key_t kOwnerKey{};

}  // namespace

// One face file (and face index) with the synthesis it needs; shared by all its sizes.
struct FaceRecord {
  TResolvedFace resolved;
  bool synthBold = false;
  bool synthItalic = false;
  Bytes bytes;
  std::unique_ptr<hb_blob_t, HbBlobDeleter> hbBlob;
  std::unique_ptr<hb_face_t, HbFaceDeleter> hbFace;
  std::unique_ptr<hb_font_t, HbFontDeleter> hbFont;
  std::unique_ptr<cairo_font_face_t, CairoFaceDeleter> cairoFace;
  // Design metrics, read once.
  unsigned upem = 2048;
  int winAscent = 0, winDescent = 0;
  int hheaAscender = 0, hheaDescender = 0, hheaLineGap = 0, maxAdvance = 0;
  int avgCharWidth = 0, weightClass = 400;
  int typoAscender = 0, typoDescender = 0, typoLineGap = 0, capHeight = 0, xHeight = 0;
  int strikeSize = 0, strikePos = 0, underlineSize = 0, underlinePos = 0;
  unsigned fsSelection = 0, fsType = 0;
  int xMin = 0, yMin = 0, xMax = 0, yMax = 0;
  double italicAngle = 0;
  bool fixedPitch = false, serif = false, symbolic = false;
  char16_t firstChar = 0x20, lastChar = 0xFFFC;
  std::vector<uint8_t> vdmx;  // raw VDMX table, when the face has one
};

namespace {

void ReadDesignMetrics(FaceRecord& r, FT_Face f) {
  r.upem = f->units_per_EM ? f->units_per_EM : 2048;
  r.xMin = static_cast<int>(f->bbox.xMin);
  r.yMin = static_cast<int>(f->bbox.yMin);
  r.xMax = static_cast<int>(f->bbox.xMax);
  r.yMax = static_cast<int>(f->bbox.yMax);
  r.hheaAscender = f->ascender;
  r.hheaDescender = f->descender;
  r.maxAdvance = f->max_advance_width;
  r.underlinePos = f->underline_position;
  r.underlineSize = f->underline_thickness;
  if (auto* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(f, FT_SFNT_HHEA))) {
    r.hheaLineGap = hhea->Line_Gap;
  }
  r.winAscent = r.hheaAscender;
  r.winDescent = -r.hheaDescender;
  r.typoAscender = r.hheaAscender;
  r.typoDescender = r.hheaDescender;
  r.capHeight = r.hheaAscender * 7 / 10;
  r.xHeight = r.hheaAscender / 2;
  r.strikeSize = r.underlineSize;
  r.strikePos = static_cast<int>(r.upem / 4);
  if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(f, FT_SFNT_OS2)); os2 && os2->version != 0xFFFF) {
    r.winAscent = os2->usWinAscent;
    r.winDescent = os2->usWinDescent;
    r.typoAscender = os2->sTypoAscender;
    r.typoDescender = os2->sTypoDescender;
    r.typoLineGap = os2->sTypoLineGap;
    r.avgCharWidth = os2->xAvgCharWidth;
    r.weightClass = os2->usWeightClass;
    r.fsSelection = os2->fsSelection;
    r.fsType = os2->fsType;
    r.strikeSize = os2->yStrikeoutSize;
    r.strikePos = os2->yStrikeoutPosition;
    if (os2->version >= 2) {
      r.capHeight = os2->sCapHeight;
      r.xHeight = os2->sxHeight;
    }
    r.firstChar = static_cast<char16_t>(os2->usFirstCharIndex);
    r.lastChar = static_cast<char16_t>(os2->usLastCharIndex);
    int familyClass = (os2->sFamilyClass >> 8) & 0xFF;
    r.serif = familyClass >= 1 && familyClass <= 7 && familyClass != 6;
  }
  if (auto* post = static_cast<TT_Postscript*>(FT_Get_Sfnt_Table(f, FT_SFNT_POST))) {
    r.italicAngle = static_cast<double>(post->italicAngle) / 65536.0;
    r.fixedPitch = post->isFixedPitch != 0;
  }
  if (FT_IS_FIXED_WIDTH(f)) r.fixedPitch = true;
  for (int i = 0; i < f->num_charmaps; ++i)
    if (f->charmaps[i]->platform_id == 3 && f->charmaps[i]->encoding_id == 0) r.symbolic = true;
  if (r.avgCharWidth == 0) r.avgCharWidth = r.maxAdvance / 2;
  FT_ULong length = 0;
  if (FT_Load_Sfnt_Table(f, TTAG_VDMX, 0, nullptr, &length) == 0 && length > 0 && length < (1u << 20)) {
    r.vdmx.resize(length);
    if (FT_Load_Sfnt_Table(f, TTAG_VDMX, 0, r.vdmx.data(), &length) != 0) r.vdmx.clear();
  }
}

// Hinted vertical extremes for a pixel size from the VDMX table (1:1 aspect ratio group), which
// is where the original platform takes a font's cell height from when the face has one.
bool VdmxExtremes(const std::vector<uint8_t>& t, int ppem, int& yMax, int& yMin) {
  auto u16 = [&](size_t o) -> int { return o + 2 <= t.size() ? (t[o] << 8) | t[o + 1] : -1; };
  auto s16 = [&](size_t o) -> int {
    int v = u16(o);
    return v >= 0x8000 ? v - 0x10000 : v;
  };
  int numRatios = u16(4);
  if (numRatios <= 0) return false;
  for (int i = 0; i < numRatios; ++i) {
    size_t ratio = 6 + 4 * static_cast<size_t>(i);
    if (ratio + 4 > t.size()) return false;
    int charSet = t[ratio], xRatio = t[ratio + 1], yStart = t[ratio + 2], yEnd = t[ratio + 3];
    bool fits = (xRatio == 0 && yStart == 0 && yEnd == 0) || (xRatio <= 1 && yStart <= 1 && yEnd >= 1);
    (void)charSet;
    if (!fits) continue;
    int offset = u16(6 + 4 * static_cast<size_t>(numRatios) + 2 * static_cast<size_t>(i));
    if (offset < 0) return false;
    size_t g = static_cast<size_t>(offset);
    int recs = u16(g);
    int startsz = g + 3 < t.size() ? t[g + 2] : 256;
    int endsz = g + 3 < t.size() ? t[g + 3] : 0;
    if (recs < 0 || ppem < startsz || ppem > endsz) return false;
    for (int k = 0; k < recs; ++k) {
      size_t rec = g + 4 + 6 * static_cast<size_t>(k);
      if (rec + 6 > t.size()) return false;
      if (u16(rec) == ppem) {
        yMax = s16(rec + 2);
        yMin = s16(rec + 4);
        return true;
      }
    }
    return false;
  }
  return false;
}

int RoundInt(double v) {
  return static_cast<int>(RoundHalfEven(static_cast<long double>(v)));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Sized fonts

namespace {
// Glyph indices of 256 consecutive characters, looked up together (a cmap lookup is cheap), and
// their advances, each loaded the first time a text uses it: loading a glyph runs its hinting
// program, which costs far more than the text that needs a few dozen of them.
constexpr int32_t kAdvanceUnknown = std::numeric_limits<int32_t>::min();
struct AdvancePage {
  mutable std::array<std::atomic<int32_t>, 256> advance;  // filled in as texts need them
  std::array<uint32_t, 256> glyph;
  AdvancePage() {
    for (auto& a : advance) a.store(kAdvanceUnknown, std::memory_order_relaxed);
  }
};
constexpr size_t kPageCount = 0x110000 / 256;
// The pages of one Unicode plane, allocated when a text first reaches the plane: most fonts
// only ever see the first one, and a table for all of Unicode would be zeroed for every size.
struct PagePlane {
  std::array<std::atomic<AdvancePage*>, 256> pages{};
};
constexpr size_t kPlaneCount = kPageCount / 256;
}  // namespace

struct TSizedFont::Impl {
  FaceRecord* face = nullptr;
  int em = 13;
  int emWidth = 13;
  bool bold = false, italic = false;
  FtFacePtr ft;  // own face object, set to this size, used under `mutex`
  mutable std::mutex mutex;
  mutable std::array<std::atomic<PagePlane*>, kPlaneCount> planes{};
  mutable std::vector<std::unique_ptr<PagePlane>> ownedPlanes;
  mutable std::vector<std::unique_ptr<AdvancePage>> ownedPages;
  // Advances by glyph index, so that characters sharing a glyph load it once.
  mutable std::unordered_map<uint32_t, int32_t> glyphAdvances;
  TTextMetric tm;
  int boldExtra = 0;  // advance added by synthesised bold

  const AdvancePage& Page(uint32_t cp) const {
    size_t index = cp >> 8;
    if (index >= kPageCount) index = 0xFF;  // beyond Unicode: the replacement character's page
    const PagePlane* plane = planes[index >> 8].load(std::memory_order_acquire);
    AdvancePage* page = plane ? plane->pages[index & 0xFF].load(std::memory_order_acquire) : nullptr;
    return page ? *page : FillPage(index);
  }
  int32_t Advance(uint32_t cp) const {
    const AdvancePage& page = Page(cp);
    const int32_t a = page.advance[cp & 0xFF].load(std::memory_order_relaxed);
    return a != kAdvanceUnknown ? a : LoadAdvance(page, cp & 0xFF);
  }
  const AdvancePage& FillPage(size_t index) const;
  int32_t LoadAdvance(const AdvancePage& page, uint32_t slot) const;
};

namespace {
// Advances along a text: consecutive characters mostly share a page, which is then looked up
// once.
class AdvanceReader {
 public:
  explicit AdvanceReader(const TSizedFont::Impl& font) : font_(font) {}
  int32_t operator()(uint32_t cp) {
    if ((cp >> 8) != index_ || !page_) {
      index_ = cp >> 8;
      page_ = &font_.Page(cp);
    }
    const int32_t a = page_->advance[cp & 0xFF].load(std::memory_order_relaxed);
    return a != kAdvanceUnknown ? a : font_.LoadAdvance(*page_, cp & 0xFF);
  }

 private:
  const TSizedFont::Impl& font_;
  const AdvancePage* page_ = nullptr;
  uint32_t index_ = 0;
};
}  // namespace

const AdvancePage& TSizedFont::Impl::FillPage(size_t index) const {
  std::lock_guard<std::mutex> lock(mutex);
  PagePlane* plane = planes[index >> 8].load(std::memory_order_acquire);
  if (!plane) {
    ownedPlanes.push_back(std::make_unique<PagePlane>());
    plane = ownedPlanes.back().get();
    planes[index >> 8].store(plane, std::memory_order_release);
  }
  if (AdvancePage* page = plane->pages[index & 0xFF].load(std::memory_order_acquire)) return *page;
  auto page = std::make_unique<AdvancePage>();
  for (uint32_t i = 0; i < 256; ++i)
    page->glyph[i] = FT_Get_Char_Index(ft.get(), static_cast<uint32_t>(index << 8) | i);
  AdvancePage* raw = page.get();
  ownedPages.push_back(std::move(page));
  plane->pages[index & 0xFF].store(raw, std::memory_order_release);
  return *raw;
}

// The hinted advance in whole pixels, as the glyph loads for drawing (a glyph that fails to
// load has none).
int32_t TSizedFont::Impl::LoadAdvance(const AdvancePage& page, uint32_t slot) const {
  std::lock_guard<std::mutex> lock(mutex);
  const uint32_t glyph = page.glyph[slot];
  auto it = glyphAdvances.find(glyph);
  int32_t advance = 0;
  if (it != glyphAdvances.end()) {
    advance = it->second;
  } else {
    if (FT_Load_Glyph(ft.get(), glyph, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) == 0)
      advance = static_cast<int32_t>((ft->glyph->advance.x + 32) >> 6) + boldExtra;
    glyphAdvances.emplace(glyph, advance);
  }
  // Every thread that gets here stores the same value.
  page.advance[slot].store(advance, std::memory_order_relaxed);
  return advance;
}

TSizedFont::TSizedFont(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
TSizedFont::~TSizedFont() = default;

const std::string& TSizedFont::FamilyName() const {
  return impl_->face->resolved.Family;
}
const std::string& TSizedFont::FileName() const {
  return impl_->face->resolved.Path;
}
int TSizedFont::FaceIndex() const {
  return impl_->face->resolved.Index;
}
int TSizedFont::EmPixels() const {
  return impl_->em;
}
int TSizedFont::EmWidthPixels() const {
  return impl_->emWidth;
}
bool TSizedFont::Bold() const {
  return impl_->bold;
}
bool TSizedFont::Italic() const {
  return impl_->italic;
}
bool TSizedFont::SyntheticBold() const {
  return impl_->face->synthBold;
}
bool TSizedFont::SyntheticItalic() const {
  return impl_->face->synthItalic;
}
unsigned TSizedFont::UnitsPerEm() const {
  return impl_->face->upem;
}

int TSizedFont::CharAdvance(char32_t c) const {
  return impl_->Advance(static_cast<uint32_t>(c));
}

uint32_t TSizedFont::GlyphIndex(char32_t c) const {
  uint32_t cp = static_cast<uint32_t>(c);
  return impl_->Page(cp).glyph[cp & 0xFF];
}

// Sums saturate instead of overflowing (absurd sizes times very long texts).
constexpr int64_t kMaxExtent = std::numeric_limits<int>::max();

void TSizedFont::GetTextExtentExPoint(std::u16string_view text, int* cumulative) const {
  AdvanceReader advance(*impl_);
  int64_t total = 0;
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      cumulative[i] = static_cast<int>(total);
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    total = std::min(total + advance(c), kMaxExtent);
    cumulative[i] = static_cast<int>(total);
  }
}

std::vector<int> TSizedFont::GetTextExtentExPoint(std::u16string_view text) const {
  std::vector<int> out(text.size());
  if (!text.empty()) GetTextExtentExPoint(text, out.data());
  return out;
}

int TSizedFont::TextWidth(std::u16string_view text) const {
  AdvanceReader advance(*impl_);
  int64_t total = 0;
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    total += advance(c);
  }
  return static_cast<int>(std::min(total, kMaxExtent));
}

const TTextMetric& TSizedFont::TextMetrics() const {
  return impl_->tm;
}

TOutlineTextMetric TSizedFont::OutlineTextMetrics() const {
  const FaceRecord& r = *impl_->face;
  const double s = static_cast<double>(impl_->em) / r.upem;
  auto px = [&](int units) { return RoundInt(units * s); };
  TOutlineTextMetric m;
  m.otmTextMetrics = impl_->tm;
  m.otmEMSquare = r.upem;
  m.otmAscent = px(r.typoAscender);
  m.otmDescent = px(r.typoDescender);
  m.otmLineGap = px(r.typoLineGap);
  m.otmsCapEmHeight = px(r.capHeight);
  m.otmsXHeight = px(r.xHeight);
  m.otmrcFontBox = TRect{px(r.xMin), px(r.yMax), px(r.xMax), px(r.yMin)};
  double angle = r.italicAngle;
  if (angle == 0 && r.synthItalic) angle = -12;  // the slant the synthesised italic is drawn with
  m.otmItalicAngle = RoundInt(angle * 10);
  m.otmfsSelection = r.fsSelection;
  m.otmfsType = r.fsType;
  m.otmsUnderscoreSize = px(r.underlineSize);
  m.otmsUnderscorePosition = px(r.underlinePos);
  m.otmsStrikeoutSize = px(r.strikeSize);
  m.otmsStrikeoutPosition = px(r.strikePos);
  m.otmMacAscent = px(r.hheaAscender);
  m.otmMacDescent = px(r.hheaDescender);
  m.UnitsAscent = r.typoAscender;
  m.UnitsDescent = r.typoDescender;
  m.UnitsCapHeight = r.capHeight;
  m.UnitsXHeight = r.xHeight;
  m.UnitsXMin = r.xMin;
  m.UnitsYMin = r.yMin;
  m.UnitsXMax = r.xMax;
  m.UnitsYMax = r.yMax;
  m.ItalicAngle = angle;
  m.Weight = impl_->bold && r.synthBold ? 700 : r.weightClass;
  m.AvgCharWidthUnits = r.avgCharWidth;
  m.MaxAdvanceUnits = r.maxAdvance;
  m.PdfFlags = (r.fixedPitch ? 1 : 0) | (r.serif ? 2 : 0) | (r.symbolic ? 4 : 32) |
               ((angle != 0 || impl_->italic) ? 64 : 0);
  return m;
}

std::vector<uint8_t> TSizedFont::GetFontData(std::string_view tag) const {
  const std::vector<uint8_t>& file = *impl_->face->bytes;
  if (tag.empty()) return file;
  if (tag.size() != 4) return {};
  if (tag == "ttcf") {
    if (file.size() >= 4 && file[0] == 't' && file[1] == 't' && file[2] == 'c' && file[3] == 'f') return file;
    return {};
  }
  FT_ULong t = FT_MAKE_TAG(static_cast<uint8_t>(tag[0]), static_cast<uint8_t>(tag[1]),
                           static_cast<uint8_t>(tag[2]), static_cast<uint8_t>(tag[3]));
  std::lock_guard<std::mutex> lock(impl_->mutex);
  FT_ULong length = 0;
  if (FT_Load_Sfnt_Table(impl_->ft.get(), t, 0, nullptr, &length) != 0 || length == 0) return {};
  std::vector<uint8_t> out(length);
  if (FT_Load_Sfnt_Table(impl_->ft.get(), t, 0, out.data(), &length) != 0) return {};
  out.resize(length);
  return out;
}

const std::vector<uint8_t>& TSizedFont::FontFileBytes() const {
  return *impl_->face->bytes;
}

hb_font_t* HarfBuzzFont(const TSizedFont& font) {
  return font.Internals().face->hbFont.get();
}
_cairo_font_face* CairoFontFace(const TSizedFont& font) {
  return font.Internals().face->cairoFace.get();
}

// ---------------------------------------------------------------------------------------------
// The cache

namespace {

struct FontCache {
  std::mutex mutex;
  // Requests (upper-cased name, height, bold, italic) to sized fonts.
  std::map<std::tuple<WideString, int, int, bool, bool>, const TSizedFont*> requests;
  // Faces by (name, bold, italic) and by (file, index, synthesis).
  std::map<std::tuple<WideString, bool, bool>, FaceRecord*> faceByName;
  std::map<std::tuple<std::string, int, bool, bool>, std::unique_ptr<FaceRecord>> faces;
  std::map<std::tuple<FaceRecord*, int, int, bool, bool>, std::unique_ptr<TSizedFont>> sized;
  std::map<std::string, Bytes> files;
};

FontCache& Cache() {
  static FontCache* cache = new FontCache;  // released explicitly by ReleaseGraphicsResources
  return *cache;
}

WideString UpperName(const WideString& name) {
  WideString s = name;
  for (char16_t& c : s)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  return s;
}

FaceRecord& FaceFor(FontCache& cache, const WideString& name, bool bold, bool italic) {
  auto key = std::make_tuple(UpperName(name), bold, italic);
  auto it = cache.faceByName.find(key);
  if (it != cache.faceByName.end()) return *it->second;
  TResolvedFace resolved = ResolveFace(name, bold, italic);
  bool synthBold = bold && !resolved.Bold;
  bool synthItalic = italic && !resolved.Italic;
  auto fileKey = std::make_tuple(resolved.Path, resolved.Index, synthBold, synthItalic);
  auto& slot = cache.faces[fileKey];
  if (!slot) {
    auto record = std::make_unique<FaceRecord>();
    record->resolved = resolved;
    record->synthBold = synthBold;
    record->synthItalic = synthItalic;
    Bytes& bytes = cache.files[resolved.Path];
    if (!bytes) bytes = ReadFile(resolved.Path);
    record->bytes = bytes;
    {
      FtFacePtr probe = OpenFace(bytes, resolved.Index);
      ReadDesignMetrics(*record, probe.get());
    }
    record->hbBlob.reset(hb_blob_create(reinterpret_cast<const char*>(bytes->data()),
                                        static_cast<unsigned>(bytes->size()), HB_MEMORY_MODE_READONLY,
                                        nullptr, nullptr));
    record->hbFace.reset(hb_face_create(record->hbBlob.get(), static_cast<unsigned>(resolved.Index)));
    record->hbFont.reset(hb_font_create(record->hbFace.get()));
    hb_font_set_scale(record->hbFont.get(), static_cast<int>(record->upem), static_cast<int>(record->upem));
    // Cairo draws from a face object of its own, kept alive with its bytes by the font face.
    auto owner = std::make_unique<CairoFaceOwner>();
    owner->bytes = bytes;
    owner->face = OpenFace(bytes, resolved.Index);
    cairo_font_face_t* cf = cairo_ft_font_face_create_for_ft_face(owner->face.get(), FT_LOAD_DEFAULT);
    if (cairo_font_face_status(cf) != CAIRO_STATUS_SUCCESS) {
      cairo_font_face_destroy(cf);
      throw EOutOfMemory("Cannot create a drawing font");
    }
    if (cairo_font_face_set_user_data(cf, &kOwnerKey, owner.get(), [](void* p) {
          delete static_cast<CairoFaceOwner*>(p);
        }) != CAIRO_STATUS_SUCCESS) {
      cairo_font_face_destroy(cf);
      throw EOutOfMemory("Cannot create a drawing font");
    }
    owner.release();
    unsigned synth =
        (synthBold ? CAIRO_FT_SYNTHESIZE_BOLD : 0) | (synthItalic ? CAIRO_FT_SYNTHESIZE_OBLIQUE : 0);
    if (synth) cairo_ft_font_face_set_synthesize(cf, synth);
    record->cairoFace.reset(cf);
    slot = std::move(record);
  }
  cache.faceByName.emplace(key, slot.get());
  return *slot;
}

std::unique_ptr<TSizedFont> MakeSized(FaceRecord& face, int em, int emWidth, bool bold, bool italic) {
  auto impl = std::make_unique<TSizedFont::Impl>();
  impl->face = &face;
  impl->em = em;
  impl->emWidth = emWidth;
  impl->bold = bold;
  impl->italic = italic;
  impl->ft = OpenFace(face.bytes, face.resolved.Index);
  if (FT_Set_Pixel_Sizes(impl->ft.get(), static_cast<FT_UInt>(emWidth), static_cast<FT_UInt>(em)) != 0)
    throw EInvalidOperation("Cannot set the font size");
  if (face.synthBold) impl->boldExtra = std::max(1, RoundInt(em / 24.0));
  // Text metrics: the cell from the face's VDMX record for this size when there is one,
  // otherwise from its OS/2 usWinAscent and usWinDescent, scaled and rounded up.
  const double s = static_cast<double>(em) / face.upem;
  int yMax = 0, yMin = 0;
  TTextMetric& tm = impl->tm;
  if (!face.vdmx.empty() && VdmxExtremes(face.vdmx, em, yMax, yMin)) {
    tm.tmAscent = yMax;
    tm.tmDescent = -yMin;
  } else {
    tm.tmAscent = static_cast<int>(std::ceil(face.winAscent * s - 1e-9));
    tm.tmDescent = static_cast<int>(std::ceil(face.winDescent * s - 1e-9));
  }
  tm.tmHeight = tm.tmAscent + tm.tmDescent;
  tm.tmInternalLeading = std::max(0, tm.tmHeight - em);
  int external =
      face.hheaLineGap - ((face.winAscent + face.winDescent) - (face.hheaAscender - face.hheaDescender));
  tm.tmExternalLeading = std::max(0, RoundInt(external * s));
  const double xs = static_cast<double>(emWidth) / face.upem;
  tm.tmAveCharWidth = RoundInt(face.avgCharWidth * xs);
  tm.tmMaxCharWidth = RoundInt(face.maxAdvance * xs) + impl->boldExtra;
  tm.tmWeight = bold ? std::max(700, face.weightClass) : face.weightClass;
  tm.tmItalic = italic;
  tm.tmPitchAndFamily = static_cast<uint8_t>((face.fixedPitch ? 0 : 1) | 2 | 4 | (face.serif ? 0x10 : 0x20));
  tm.tmFirstChar = face.firstChar;
  tm.tmLastChar = face.lastChar;
  tm.tmDefaultChar = 0x1F;
  tm.tmBreakChar = 0x20;
  return std::make_unique<TSizedFont>(std::move(impl));
}

}  // namespace

const TSizedFont& FindFont(const WideString& name, int height, TFontStyles style, int width) {
  if (height == 0) height = -13;
  const bool bold = style.Contains(fsBold), italic = style.Contains(fsItalic);
  FontCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  auto requestKey = std::make_tuple(UpperName(name), height, width, bold, italic);
  auto hit = cache.requests.find(requestKey);
  if (hit != cache.requests.end()) return *hit->second;
  FaceRecord& face = FaceFor(cache, name, bold, italic);
  int64_t em;
  if (height < 0) {
    em = -static_cast<int64_t>(height);
  } else {
    int cell = face.winAscent + face.winDescent;
    em = cell > 0 ? RoundInt(static_cast<double>(height) * face.upem / cell) : height;
  }
  em = std::clamp<int64_t>(em, 1, 32767);
  // A width stretches the em horizontally so that the average character gets that width.
  int64_t emWidth = em;
  if (width > 0 && face.avgCharWidth > 0)
    emWidth =
        std::clamp<int64_t>(RoundInt(static_cast<double>(width) * face.upem / face.avgCharWidth), 1, 32767);
  auto sizedKey = std::make_tuple(&face, static_cast<int>(em), static_cast<int>(emWidth), bold, italic);
  auto& slot = cache.sized[sizedKey];
  if (!slot) slot = MakeSized(face, static_cast<int>(em), static_cast<int>(emWidth), bold, italic);
  cache.requests.emplace(requestKey, slot.get());
  return *slot;
}

const TSizedFont& FindFont(const TFont& font) {
  return FindFont(font.Name(), font.Height(), font.Style(), font.Width());
}

void ReleaseGraphicsResources() {
  {
    FontCache& cache = Cache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    cache.requests.clear();
    cache.sized.clear();
    cache.faceByName.clear();
    cache.faces.clear();
    cache.files.clear();
  }
  cairo_debug_reset_static_data();
  {
    std::lock_guard<std::recursive_mutex> lock(LibraryMutex());
    LibrarySlot().reset();
  }
  ReleaseFontConfig();
}

}  // namespace pagewright
