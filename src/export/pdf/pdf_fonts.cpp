#include "export/pdf/pdf_fonts.h"

#include <algorithm>
#include <array>
#include <map>

#include "export/pdf/pdf_objects.h"
#include "export/pdf/pdf_security.h"
#include "platform/unicode.h"
#include "platform/wide_strings.h"
#include "render/shaping.h"

namespace pagewright {

namespace {

struct TSimulation {
  const char16_t* Face;
  bool Bold;
  bool Italic;
};

constexpr TSimulation kSimulations[] = {
    {u"\uFF2D\uFF33 \u30B4\u30B7\u30C3\u30AF", true, true},
    {u"\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF", true, true},
    {u"\uFF2D\uFF33 \u660E\u671D", true, true},
    {u"\uFF2D\uFF33 \uFF30\u660E\u671D", true, true},
    {u"MS UI Gothic", true, true},
    {u"Arial Black", true, true},
    {u"Tahoma", false, true},
};

struct TCorrection {
  const char16_t* Face;
  std::array<double, 10> Factors;  // point sizes 6 to 15
};

constexpr TCorrection kCorrections[] = {
    {u"Consolas", {0.986, 1.002, 1.012, 0.997, 1.008, 1.016, 1.002, 0.994, 1.002, 1.007}},
    {u"Courier New", {1.004, 1.005, 1.002, 1.003, 1.004, 1.002, 1.004, 1.004, 1.004, 1.003}},
    {u"Lucida Console", {1, 1, 0.998, 0.998, 0.998, 0.998, 0.999, 0.999, 1, 0.998}},
};

int ToThousandths(int32_t designUnits, unsigned unitsPerEm) {
  return static_cast<int>(RoundHalfEven(static_cast<long double>(designUnits) * 1000 / unitsPerEm));
}

std::string FourHex(uint32_t v) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s(4, '0');
  for (int i = 3; i >= 0; --i, v >>= 4) s[i] = digits[v & 15];
  return s;
}

}  // namespace

bool FontSimulatesBold(const WideString& face) {
  for (const auto& s : kSimulations)
    if (face == s.Face) return s.Bold;
  return false;
}

bool FontSimulatesItalic(const WideString& face) {
  for (const auto& s : kSimulations)
    if (face == s.Face) return s.Italic;
  return false;
}

double MonospacedFontCorrection(const WideString& face, int pointSize) {
  if (pointSize < 6 || pointSize > 15) return 1;
  for (const auto& c : kCorrections)
    if (SameText(face, c.Face)) return c.Factors[pointSize - 6];
  return 1;
}

// ---------------------------------------------------------------------------------------------

TpgwPDFFont::TpgwPDFFont(const TFont& font, int index)
    : FSourceFont(font), FName("/F" + std::to_string(index)) {
  FSimBold = FontSimulatesBold(font.Name());
  FSimItalic = FontSimulatesItalic(font.Name());
  TFontStyles style;
  if (font.Style().Contains(fsBold)) style.Include(fsBold);
  if (font.Style().Contains(fsItalic)) style.Include(fsItalic);
  FSized = &FindFont(font.Name(), -1000, style);
  try {
    const auto& bytes = FSized->FontFileBytes();
    if (!bytes.empty()) {
      FTrueTypeTables.Initialize(bytes);
      FTtf = FTrueTypeTables.LoadFont(font.Name(), style.Contains(fsBold) && !FSimBold,
                                      style.Contains(fsItalic) && !FSimItalic, FSized->FaceIndex());
      if (FTtf) FFontData = bytes;
    }
  } catch (const ETrueTypeError&) {
    // Described and referenced, but not embedded.
    FTtf = nullptr;
    FFontData.clear();
  }
}

void TpgwPDFFont::Record(uint16_t glyph, int advance, std::u16string_view unicode) {
  if (FGlyphSlot.count(glyph)) return;
  FGlyphSlot.emplace(glyph, FUsedAlphabet.size());
  FUsedAlphabet.push_back(glyph);
  FWidths.push_back(advance);
  FUsedAlphabetUnicode.emplace_back(unicode);
}

TRemapedString TpgwPDFFont::SoftRemapString(std::u16string_view text, bool rtl) {
  TRemapedString result;
  if (text.empty()) return result;
  const unsigned upem = std::max(1u, FSized->UnitsPerEm());

  struct TGlyphOut {
    uint16_t Glyph;
    int Advance;  // -1: drawn as part of the glyph before
    std::u16string_view Unicode;
  };
  std::vector<TGlyphOut> glyphs;
  size_t characters = 0;

  const bool perCharacter = SameText(FSourceFont.Name(), u"Arial") || FSameCharacterWidth;
  if (perCharacter) {
    // Every character keeps its own glyph and width.
    for (size_t i = 0; i < text.size();) {
      size_t n = (i + 1 < text.size() && text[i] >= 0xD800 && text[i] < 0xDC00 && text[i + 1] >= 0xDC00 &&
                  text[i + 1] < 0xE000)
                     ? 2
                     : 1;
      const std::u16string_view ch = text.substr(i, n);
      const char32_t code = n == 2 ? 0x10000 + ((char32_t(ch[0]) - 0xD800) << 10) + (ch[1] - 0xDC00) : ch[0];
      auto it = FCharCache.find(code);
      if (it == FCharCache.end()) {
        TCharGlyph cg;
        int total = 0;
        for (const auto& run : ShapeText(*FSized, ch, false))
          for (const auto& g : run.Glyphs) {
            if (total++ == 0) cg.Glyph = static_cast<uint16_t>(g.GlyphIndex);
            cg.Advance += ToThousandths(g.XAdvance, upem);
          }
        it = FCharCache.emplace(code, cg).first;
      }
      glyphs.push_back({it->second.Glyph, it->second.Advance, ch});
      ++characters;
      i += n;
    }
    if (rtl) std::reverse(glyphs.begin(), glyphs.end());
  } else {
    for (size_t i = 0; i < text.size(); ++i)
      if (!(text[i] >= 0xDC00 && text[i] < 0xE000)) ++characters;
    for (const auto& run : ShapeText(*FSized, text, rtl)) {
      // The text of a cluster runs to the next cluster's start (or the run's end).
      std::vector<uint32_t> starts;
      for (const auto& g : run.Glyphs) starts.push_back(g.Cluster);
      std::sort(starts.begin(), starts.end());
      for (const auto& g : run.Glyphs) {
        const int advance = ToThousandths(g.XAdvance, upem);
        if (g.ClusterContinuation || (advance == 0 && !glyphs.empty())) {
          if (!glyphs.empty() && glyphs.back().Advance >= 0) glyphs.back().Advance += advance;
          glyphs.push_back({static_cast<uint16_t>(g.GlyphIndex), -1, {}});
          continue;
        }
        auto next = std::upper_bound(starts.begin(), starts.end(), g.Cluster);
        const uint32_t end = next == starts.end() ? run.Item.Start + run.Item.Length : *next;
        const uint32_t begin = std::min<uint32_t>(g.Cluster, static_cast<uint32_t>(text.size()));
        glyphs.push_back({static_cast<uint16_t>(g.GlyphIndex), advance,
                          text.substr(begin, std::min<size_t>(end, text.size()) - begin)});
      }
    }
  }

  result.IsHasLigatures = glyphs.size() != characters;
  if (result.IsHasLigatures && FIsLigatureless) return {};
  result.IsSpace = true;
  for (const auto& g : glyphs) {
    int advance = g.Advance;
    if (auto slot = FGlyphSlot.find(g.Glyph); slot != FGlyphSlot.end()) {
      if (FSameCharacterWidth && advance >= 0) advance = FWidths[slot->second];
    } else {
      Record(g.Glyph, advance, g.Unicode);
    }
    result.Data.push_back(g.Glyph);
    result.CharWidth.push_back(advance);
    if (advance > 0) result.Width += advance;
    if (g.Glyph == 3)
      ++result.SpacesCount;
    else
      result.IsSpace = false;
  }
  result.IsValidCharWidth = true;
  return result;
}

double TpgwPDFFont::SpaceAdjustment(const TRemapedString& remaped, double fontSize, double lineWidth) {
  if (remaped.SpacesCount == 0 || fontSize <= 0) return 0;
  // A trailing space does not stretch the line.
  int spaces = remaped.SpacesCount;
  if (!remaped.Data.empty() && remaped.Data.back() == 3) --spaces;
  if (spaces <= 0) return 0;
  const double extra = lineWidth * 1000 / fontSize - remaped.Width;
  return -extra / spaces;
}

std::string TpgwPDFFont::GetFontName() const {
  const WideString& face = FSourceFont.Name();
  const bool ascii = std::all_of(face.begin(), face.end(), [](char16_t c) { return c < 128; });
  std::string name = ascii || !FTtf ? Utf16ToUtf8(face) : Utf16ToUtf8(FTtf->PostScriptName());
  if (FTtf && !FTtf->SubstitutionName().empty()) {
    const WideString family = FTtf->FamilyName();
    if (!family.empty() && family.find(u'?') == WideString::npos) name = Utf16ToUtf8(family);
  }
  std::string escaped;
  for (char c : name) {
    switch (c) {
      case ' ':
        escaped += "#20";
        break;
      case '(':
        escaped += "#28";
        break;
      case ')':
        escaped += "#29";
        break;
      case '%':
        escaped += "#25";
        break;
      case '<':
        escaped += "#3C";
        break;
      case '>':
        escaped += "#3E";
        break;
      case '[':
        escaped += "#5B";
        break;
      case ']':
        escaped += "#5D";
        break;
      case '{':
        escaped += "#7B";
        break;
      case '}':
        escaped += "#7D";
        break;
      case '/':
        escaped += "#2F";
        break;
      // "#" starts an escape in a name; a literal one must be escaped itself.
      case '#':
        escaped += "#23";
        break;
      default:
        escaped += c;
    }
  }
  const bool bold = FSourceFont.Style().Contains(fsBold) && !FSimBold;
  const bool italic = FSourceFont.Style().Contains(fsItalic) && !FSimItalic;
  if (bold || italic) escaped += ",";
  if (bold) escaped += "Bold";
  if (italic) escaped += "Italic";
  std::string out;
  for (unsigned char c : escaped) {
    if (c > 127 || c < 33)
      out += "#" + HexUpper(std::string_view(reinterpret_cast<const char*>(&c), 1));
    else
      out += static_cast<char>(c);
  }
  return out;
}

void TpgwPDFFont::PackTTFFont() {
  if (!FTtf || FPacked) return;
  std::vector<uint32_t> used(FUsedAlphabet.begin(), FUsedAlphabet.end());
  FFontData = FTrueTypeTables.PackFont(*FTtf, used, PdfFontProgramTables());
  FPacked = true;
  for (size_t i = 0; i < FUsedAlphabet.size(); ++i) {
    const auto& u = FUsedAlphabetUnicode[i];
    if (FWidths[i] == -1 || u == u" " || u == u"\u00A0") continue;
    try {
      FWidths[i] = FTtf->get_GlyphWidth(FUsedAlphabet[i]);
    } catch (const ETrueTypeError&) {
      FWidths[i] = 0;
    }
  }
}

std::string TpgwPDFFont::SubsetTag() const {
  TMD5 md5;
  md5.Update(GetFontName());
  for (uint16_t g : FUsedAlphabet) {
    const uint8_t b[2] = {static_cast<uint8_t>(g >> 8), static_cast<uint8_t>(g)};
    md5.Update(std::span<const uint8_t>(b, 2));
  }
  const auto digest = md5.Final();
  std::string tag(6, 'A');
  for (int i = 0; i < 6; ++i) tag[i] = static_cast<char>('A' + digest[i] % 26);
  return tag;
}

void TpgwPDFFont::WriteObjects(TPDFObjectsHelper& pdf, bool embed) {
  if (Reference == 0) Reference = pdf.UpdateXRef();
  // Text is written as glyph indices (Identity-H), which mean nothing without the font program
  // they index: a viewer with another version of the face, or a substitute, shows wrong glyphs.
  // So every face that may be embedded is, whatever the EmbeddedFonts switch says.
  (void)embed;
  const bool embedded = Embeddable();
  const std::string baseName = GetFontName();
  std::string name = baseName;
  int fontFile = 0;
  if (embedded) {
    PackTTFFont();
    // Embedded subsets are named with a tag so that viewers do not take them for the full face.
    name = SubsetTag() + "+" + baseName;
    fontFile = pdf.UpdateXRef();
    pdf.BeginObject(fontFile);
    const std::string_view data(reinterpret_cast<const char*>(FFontData.data()), FFontData.size());
    pdf.WriteStream(fontFile, data, "/Length1 " + std::to_string(FFontData.size()));
  }

  const TOutlineTextMetric m = FSized->OutlineTextMetrics();
  const TTextMetric& tm = m.otmTextMetrics;
  const int descriptor = pdf.UpdateXRef();
  pdf.BeginObject(descriptor);
  pdf.WriteLine("<<");
  pdf.WriteLine("/Type /FontDescriptor");
  pdf.WriteLine("/FontName /" + name);
  pdf.WriteLine("/Flags 32");
  pdf.WriteLine("/FontBBox [" + std::to_string(m.otmrcFontBox.Left) + " " +
                std::to_string(m.otmrcFontBox.Bottom) + " " + std::to_string(m.otmrcFontBox.Right) + " " +
                std::to_string(m.otmrcFontBox.Top) + " ]");
  pdf.WriteLine("/ItalicAngle " + std::to_string(RoundHalfEven(m.ItalicAngle)));
  pdf.WriteLine("/Ascent " + std::to_string(m.otmAscent));
  pdf.WriteLine("/Descent " + std::to_string(m.otmDescent));
  pdf.WriteLine("/Leading " + std::to_string(tm.tmInternalLeading));
  pdf.WriteLine("/CapHeight " + std::to_string(m.otmsCapEmHeight > 0 ? m.otmsCapEmHeight : tm.tmHeight));
  const long double stem = tm.tmWeight / 65.0L;
  pdf.WriteLine("/StemV " + std::to_string(50 + RoundHalfEven(stem * stem)));
  pdf.WriteLine("/AvgWidth " + std::to_string(tm.tmAveCharWidth));
  pdf.WriteLine("/MaxWidth " + std::to_string(tm.tmMaxCharWidth));
  pdf.WriteLine("/MissingWidth " + std::to_string(tm.tmAveCharWidth));
  if (embedded) pdf.WriteLine("/FontFile2 " + std::to_string(fontFile) + " 0 R");
  pdf.WriteLine(">>");
  pdf.WriteLine("endobj");

  // ToUnicode map: one entry per glyph that stands for text, at most 100 per block.
  std::vector<size_t> mapped;
  for (size_t i = 0; i < FUsedAlphabet.size(); ++i)
    if (!FUsedAlphabetUnicode[i].empty()) mapped.push_back(i);
  std::string cmap =
      "/CIDInit /ProcSet findresource begin\r\n12 dict begin\r\nbegincmap\r\n/CIDSystemInfo\r\n"
      "<< /Registry (Adobe)\r\n/Ordering (UCS)\r\n/Supplement 0\r\n>> def\r\n";
  std::string cmapName = baseName;
  std::replace(cmapName.begin(), cmapName.end(), ',', '+');
  cmap += "/CMapName /" + cmapName +
          " def\r\n/CMapType 2 def\r\n1 begincodespacerange\r\n<0000> <FFFF>\r\n"
          "endcodespacerange\r\n";
  for (size_t block = 0; block < mapped.size(); block += 100) {
    const size_t n = std::min<size_t>(100, mapped.size() - block);
    cmap += std::to_string(n) + " beginbfchar\r\n";
    for (size_t k = block; k < block + n; ++k) {
      const size_t i = mapped[k];
      cmap += "<" + FourHex(FUsedAlphabet[i]) + "> <";
      for (char16_t u : FUsedAlphabetUnicode[i]) cmap += FourHex(u);
      cmap += ">\r\n";
    }
    cmap += "endbfchar\r\n";
  }
  cmap += "endcmap\r\nCMapName currentdict /CMap defineresource pop\r\nend\r\nend\r\n";
  const int toUnicode = pdf.UpdateXRef();
  pdf.BeginObject(toUnicode);
  pdf.WriteStream(toUnicode, cmap);

  const int systemInfo = pdf.UpdateXRef();
  pdf.BeginObject(systemInfo);
  pdf.WriteLine("<<");
  pdf.WriteLine("/Registry " + pdf.ByteString("Adobe", systemInfo));
  pdf.WriteLine("/Ordering " + pdf.ByteString("Identity", systemInfo));
  pdf.WriteLine("/Supplement 0");
  pdf.WriteLine(">>");
  pdf.WriteLine("endobj");

  const int cidFont = pdf.UpdateXRef();
  pdf.BeginObject(cidFont);
  pdf.WriteLine("<<");
  pdf.WriteLine("/Type /Font");
  pdf.WriteLine("/Subtype /CIDFontType2");
  pdf.WriteLine("/BaseFont /" + name);
  pdf.WriteLine("/CIDToGIDMap /Identity");
  pdf.WriteLine("/CIDSystemInfo " + std::to_string(systemInfo) + " 0 R");
  pdf.WriteLine("/FontDescriptor " + std::to_string(descriptor) + " 0 R");
  std::string widths = "/W [ ";
  for (size_t i = 0; i < FUsedAlphabet.size(); ++i)
    widths += std::to_string(FUsedAlphabet[i]) + " [" + std::to_string(std::max(0, FWidths[i])) + "] ";
  pdf.WriteLine(widths + "]");
  pdf.WriteLine(">>");
  pdf.WriteLine("endobj");

  pdf.BeginObject(Reference);
  pdf.WriteLine("<<");
  pdf.WriteLine("/Type /Font");
  pdf.WriteLine("/Subtype /Type0");
  pdf.WriteLine("/BaseFont /" + name);
  pdf.WriteLine("/Encoding /Identity-H");
  pdf.WriteLine("/DescendantFonts [" + std::to_string(cidFont) + " 0 R]");
  pdf.WriteLine("/ToUnicode " + std::to_string(toUnicode) + " 0 R");
  pdf.WriteLine(">>");
  pdf.WriteLine("endobj");
}

// ---------------------------------------------------------------------------------------------

bool TpgwPDFFont::SameFace(const TSizedFont& face, bool syntheticBold, bool syntheticItalic) const {
  if (FSized == &face) return true;
  // Without a file the face is known by its name only.
  if (face.FileName().empty() || FSized->FileName() != face.FileName() ||
      FSized->FaceIndex() != face.FaceIndex())
    return false;
  return (FSourceFont.Style().Contains(fsBold) && FSized->SyntheticBold()) == syntheticBold &&
         (FSourceFont.Style().Contains(fsItalic) && FSized->SyntheticItalic()) == syntheticItalic;
}

TpgwPDFFont& TPDFGlobalFonts::GetObjFontNumber(const TFont& font) {
  const bool bold = font.Style().Contains(fsBold) && !FontSimulatesBold(font.Name());
  const bool italic = font.Style().Contains(fsItalic) && !FontSimulatesItalic(font.Name());
  TFontStyles style;
  if (bold) style.Include(fsBold);
  if (italic) style.Include(fsItalic);
  const TSizedFont& face = FindFont(font.Name(), -1000, style);
  for (auto& f : fonts_)
    if (f->SameFace(face, bold && face.SyntheticBold(), italic && face.SyntheticItalic())) return *f;
  TFont key;
  key.SetName(font.Name());
  key.SetStyle(style);
  fonts_.push_back(std::make_unique<TpgwPDFFont>(key, static_cast<int>(fonts_.size())));
  return *fonts_.back();
}

}  // namespace pagewright
