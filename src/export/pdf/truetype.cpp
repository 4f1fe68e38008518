#include "export/pdf/truetype.h"

#include <algorithm>
#include <map>

#include "platform/streams.h"

namespace pagewright {

namespace {

[[noreturn]] void FormatError() {
  throw ETrueTypeError("TrueType font format error");
}

void PutU16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v >> 8);
  b[at + 1] = static_cast<uint8_t>(v);
}

void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v >> 24);
  b[at + 1] = static_cast<uint8_t>(v >> 16);
  b[at + 2] = static_cast<uint8_t>(v >> 8);
  b[at + 3] = static_cast<uint8_t>(v);
}

void AppendU16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v >> 8));
  b.push_back(static_cast<uint8_t>(v));
}

void AppendU32(std::vector<uint8_t>& b, uint32_t v) {
  AppendU16(b, v >> 16);
  AppendU16(b, v & 0xFFFF);
}

void PadTo4(std::vector<uint8_t>& b) {
  while (b.size() % 4 != 0) b.push_back(0);
}

std::string HexWord(uint32_t v) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s(8, '0');
  for (int i = 7; i >= 0; --i, v >>= 4) s[i] = digits[v & 15];
  return s;
}

}  // namespace

std::string TagText(uint32_t tag) {
  std::string s(4, ' ');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((tag >> (24 - 8 * i)) & 0xFF);
  return s;
}

uint32_t TagValue(std::string_view text) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<uint8_t>(i < text.size() ? text[i] : ' ');
  return v;
}

uint32_t TableChecksum(std::span<const uint8_t> bytes) {
  uint32_t sum = 0;
  size_t i = 0;
  for (; i + 4 <= bytes.size(); i += 4)
    sum += (uint32_t(bytes[i]) << 24) | (uint32_t(bytes[i + 1]) << 16) | (uint32_t(bytes[i + 2]) << 8) |
           bytes[i + 3];
  if (i < bytes.size()) {
    uint32_t last = 0;
    for (size_t k = 0; k < 4; ++k) last = (last << 8) | (i + k < bytes.size() ? bytes[i + k] : 0);
    sum += last;
  }
  return sum;
}

const std::vector<std::string>& PdfSkippedTables() {
  static const std::vector<std::string> tags = {"EBLC", "EBDT", "hdmx", "VDMX", "DSIG"};
  return tags;
}

const std::vector<std::string>& PdfFontProgramTables() {
  static const std::vector<std::string> tags = {"head", "hhea", "hmtx", "loca", "maxp",
                                                "glyf", "cvt ", "fpgm", "prep"};
  return tags;
}

// ---------------------------------------------------------------------------------------------

TrueTypeFont::TrueTypeFont(std::span<const uint8_t> file, uint32_t selector)
    : beginfile(file), selector_ptr(selector) {}

const TrueTypeTable* TrueTypeFont::FindTable(std::string_view tag) const {
  const uint32_t t = TagValue(tag);
  for (const auto& table : ListOfTables)
    if (table.entry.tag == t) return &table;
  return nullptr;
}

void TrueTypeFont::PrepareFont(const std::vector<std::string>& skipList) {
  ListOfTables.clear();
  try {
    TByteReader r(beginfile);
    r.Seek(selector_ptr);
    dir.sfntversion = r.U32BE();
    dir.numTables = r.U16BE();
    dir.searchRange = r.U16BE();
    dir.entrySelector = r.U16BE();
    dir.rangeShift = r.U16BE();
    if (dir.numTables > kMaxTrueTypeTables) FormatError();
    std::vector<uint32_t> skipped;
    for (const auto& s : skipList) skipped.push_back(TagValue(s));
    for (unsigned i = 0; i < dir.numTables; ++i) {
      TrueTypeTable t;
      t.entry.tag = r.U32BE();
      t.entry.checkSum = r.U32BE();
      t.entry.offset = r.U32BE();
      t.entry.length = r.U32BE();
      if (std::find(skipped.begin(), skipped.end(), t.entry.tag) != skipped.end()) continue;
      // A second table of the same tag would make the directory ambiguous.
      for (const auto& other : ListOfTables)
        if (other.entry.tag == t.entry.tag) FormatError();
      auto bytes = TByteReader(beginfile).Sub(t.entry.offset, t.entry.length).Bytes(t.entry.length);
      t.data.assign(bytes.begin(), bytes.end());
      ListOfTables.push_back(std::move(t));
    }
  } catch (const EReadError&) {
    FormatError();
  }
  dir.numTables = static_cast<uint16_t>(ListOfTables.size());
  sourceOrder.resize(ListOfTables.size());
  for (uint32_t i = 0; i < sourceOrder.size(); ++i) sourceOrder[i] = i;
  std::stable_sort(sourceOrder.begin(), sourceOrder.end(), [&](uint32_t a, uint32_t b) {
    return ListOfTables[a].entry.offset < ListOfTables[b].entry.offset;
  });

  if (checksum_action != ChecksumFaultAction_IgnoreChecksum) {
    for (const auto& t : ListOfTables) {
      std::vector<uint8_t> copy = t.data;
      if (t.TAGLINE() == "head" && copy.size() >= 12) PutU32(copy, 8, 0);
      const uint32_t sum = TableChecksum(copy);
      if (sum == t.entry.checkSum) continue;
      std::string message = "Table ID \"" + t.TAGLINE() + "\" checksum error." + " " +
                            HexWord(t.entry.checkSum) + " " + HexWord(sum);
      if (checksum_action == ChecksumFaultAction_ThrowException) throw ETrueTypeError(message);
      Warnings.push_back(message);
    }
  }
  LoadTables();
}

void TrueTypeFont::LoadTables() {
  try {
    const TrueTypeTable* head = FindTable("head");
    if (!head) FormatError();
    {
      TByteReader r(head->data);
      r.Seek(18);
      unitsPerEm = r.U16BE();
      r.Seek(50);
      indexToLocFormat = r.I16BE();
    }
    if (unitsPerEm < 16 || unitsPerEm > 16384) FormatError();
    numGlyphs = 0;
    if (const TrueTypeTable* maxp = FindTable("maxp")) {
      TByteReader r(maxp->data);
      r.Seek(4);
      numGlyphs = r.U16BE();
    }
    numberOfHMetrics = 0;
    if (const TrueTypeTable* hhea = FindTable("hhea")) {
      TByteReader r(hhea->data);
      r.Seek(34);
      numberOfHMetrics = r.U16BE();
    }
    const TrueTypeTable* hmtx = FindTable("hmtx");
    numberOfHMetrics =
        std::min<unsigned>(numberOfHMetrics, hmtx ? static_cast<unsigned>(hmtx->data.size() / 4) : 0);

    loca.clear();
    const TrueTypeTable* locaTable = FindTable("loca");
    const TrueTypeTable* glyf = FindTable("glyf");
    if (locaTable && glyf) {
      if (indexToLocFormat != 0 && indexToLocFormat != 1) throw ETrueTypeError("Unknown IndexToLoc value");
      TByteReader r(locaTable->data);
      const size_t entrySize = indexToLocFormat == 0 ? 2 : 4;
      const size_t available = locaTable->data.size() / entrySize;
      const size_t wanted = size_t(numGlyphs) + 1;
      loca.reserve(wanted);
      for (size_t i = 0; i < std::min(available, wanted); ++i)
        loca.push_back(indexToLocFormat == 0 ? uint32_t(r.U16BE()) * 2 : r.U32BE());
      // Missing entries make the glyphs after the table's end empty.
      const uint32_t last = loca.empty() ? 0 : loca.back();
      while (loca.size() < wanted) loca.push_back(last);
    }

    cmapFormat = -1;
    for (size_t ti = 0; ti < ListOfTables.size(); ++ti) {
      if (ListOfTables[ti].entry.tag != TagValue("cmap")) continue;
      TByteReader r(ListOfTables[ti].data);
      r.Skip(2);
      const unsigned count = r.U16BE();
      for (unsigned i = 0; i < count; ++i) {
        const unsigned platform = r.U16BE();
        const unsigned encoding = r.U16BE();
        const uint32_t offset = r.U32BE();
        if (platform != 3 || encoding != 1) continue;
        TByteReader sub(ListOfTables[ti].data);
        sub.Seek(offset);
        cmapFormat = sub.U16BE();
        cmapTableIndex = ti;
        cmapSubtableOffset = offset;
        break;
      }
    }
  } catch (const EReadError&) {
    FormatError();
  }
}

WideString TrueTypeFont::NameString(uint16_t nameID) const {
  const TrueTypeTable* name = FindTable("name");
  if (!name) return {};
  TByteReader r(name->data, false);
  r.Skip(2);
  const unsigned count = r.U16BE();
  const unsigned storage = r.U16BE();
  int bestScore = -1;
  WideString best;
  for (unsigned i = 0; i < count && !r.Failed(); ++i) {
    const unsigned platform = r.U16BE(), encoding = r.U16BE(), language = r.U16BE(), id = r.U16BE();
    const unsigned length = r.U16BE(), offset = r.U16BE();
    if (r.Failed() || id != nameID) continue;
    int score = -1;
    if (platform == 3 && (encoding == 1 || encoding == 0 || encoding == 10))
      score = language == 0x409 ? 4 : 3;
    else if (platform == 0)
      score = 2;
    else if (platform == 1 && encoding == 0)
      score = 1;
    if (score <= bestScore) continue;
    TByteReader s(name->data, false);
    s.Seek(size_t(storage) + offset);
    auto bytes = s.Bytes(length);
    if (s.Failed()) continue;
    WideString text;
    if (platform == 1) {
      for (uint8_t b : bytes) text.push_back(static_cast<char16_t>(b));
    } else {
      for (size_t k = 0; k + 1 < bytes.size(); k += 2)
        text.push_back(static_cast<char16_t>((bytes[k] << 8) | bytes[k + 1]));
    }
    bestScore = score;
    best = std::move(text);
  }
  return best;
}

uint16_t TrueTypeFont::GlyphIndex(uint32_t character) const {
  switch (cmapFormat) {
    case 0:
      throw ETrueTypeError("TO DO: ByteEncoding cmap format not implemented");
    case 2:
      throw ETrueTypeError("TO DO: HighByteMapping cmap format not implemented");
    case 6:
      throw ETrueTypeError("TO DO: TrimmedTable cmap format not implemented");
    case 4:
      break;
    default:
      return 0;
  }
  if (character > 0xFFFF) return 0;
  const auto& data = ListOfTables[cmapTableIndex].data;
  TByteReader r(data, false);
  r.Seek(cmapSubtableOffset + 6);
  const unsigned segCount = r.U16BE() / 2;
  const size_t ends = cmapSubtableOffset + 14;
  const size_t starts = ends + 2 * segCount + 2;
  const size_t deltas = starts + 2 * segCount;
  const size_t rangeOffsets = deltas + 2 * segCount;
  for (unsigned i = 0; i < segCount && !r.Failed(); ++i) {
    r.Seek(ends + 2 * i);
    const unsigned end = r.U16BE();
    if (end < character) continue;
    r.Seek(starts + 2 * i);
    const unsigned start = r.U16BE();
    if (start > character) return 0;
    r.Seek(deltas + 2 * i);
    const unsigned delta = r.U16BE();
    r.Seek(rangeOffsets + 2 * i);
    const unsigned rangeOffset = r.U16BE();
    unsigned glyph;
    if (rangeOffset == 0) {
      glyph = (character + delta) & 0xFFFF;
    } else {
      r.Seek(rangeOffsets + 2 * i + rangeOffset + 2 * (character - start));
      glyph = r.U16BE();
      if (glyph != 0) glyph = (glyph + delta) & 0xFFFF;
    }
    if (r.Failed() || glyph >= numGlyphs) return 0;
    return static_cast<uint16_t>(glyph);
  }
  return 0;
}

int TrueTypeFont::GlyphAdvance(uint16_t glyph) const {
  if (numberOfHMetrics == 0) return 0;
  const auto& data = FindTable("hmtx")->data;
  const unsigned i = std::min<unsigned>(glyph, numberOfHMetrics - 1);
  const unsigned advance = (unsigned(data[4 * i]) << 8) | data[4 * i + 1];
  return static_cast<int>(advance * 1000 / unitsPerEm);
}

std::span<const uint8_t> TrueTypeFont::GlyphData(uint16_t glyph) const {
  const TrueTypeTable* glyf = FindTable("glyf");
  if (!glyf || size_t(glyph) + 1 >= loca.size()) return {};
  const uint32_t start = loca[glyph], end = loca[size_t(glyph) + 1];
  if (end <= start || end > glyf->data.size()) return {};
  return std::span<const uint8_t>(glyf->data).subspan(start, end - start);
}

std::vector<uint16_t> TrueTypeFont::GlyphComponents(uint16_t glyph) const {
  std::vector<uint16_t> result;
  const auto data = GlyphData(glyph);
  TByteReader r(data, false);
  if (r.I16BE() >= 0 || r.Failed()) return result;
  r.Seek(10);
  for (;;) {
    const unsigned flags = r.U16BE();
    const unsigned component = r.U16BE();
    if (r.Failed()) break;
    result.push_back(static_cast<uint16_t>(component));
    r.Skip((flags & 1) ? 4 : 2);
    if (flags & 8)
      r.Skip(2);
    else if (flags & 0x40)
      r.Skip(4);
    else if (flags & 0x80)
      r.Skip(8);
    if (!(flags & 0x20) || r.Failed()) break;
  }
  return result;
}

void TrueTypeFont::AddCharacterToKeepList(uint32_t glyph) {
  if (glyph > 0xFFFF) throw ETrueTypeError("Format error");
  ListOfUsedGlyphs.insert(static_cast<uint16_t>(glyph));
}

void TrueTypeFont::SetUsedGlyphs(const std::vector<uint32_t>& glyphs) {
  ListOfUsedGlyphs.clear();
  for (uint32_t g : glyphs) AddCharacterToKeepList(g);
}

void TrueTypeFont::CollectComponents(uint16_t glyph, int depth, std::set<uint16_t>& seen) {
  if (depth > kMaxCompositeDepth) return;
  for (uint16_t c : GlyphComponents(glyph)) {
    if (c >= numGlyphs || seen.count(c)) continue;
    seen.insert(c);
    // Components may be composites themselves; theirs come first.
    CollectComponents(c, depth + 1, seen);
    Indices.push_back(c);
    GlyphWidths.push_back(GlyphAdvance(c));
  }
}

void TrueTypeFont::BuildGlyphIndexList() {
  Indices.clear();
  GlyphWidths.clear();
  std::set<uint16_t> seen;
  for (uint16_t g : ListOfUsedGlyphs) {
    if (g >= numGlyphs || seen.count(g)) continue;
    seen.insert(g);
    CollectComponents(g, 1, seen);
    Indices.push_back(g);
    GlyphWidths.push_back(GlyphAdvance(g));
  }
}

int TrueTypeFont::get_GlyphWidth(uint16_t glyph) const {
  for (size_t i = 0; i < Indices.size(); ++i)
    if (Indices[i] == glyph) return GlyphWidths[i];
  throw ETrueTypeError("Glyph " + std::to_string(glyph) + " is not in the subset");
}

std::vector<uint8_t> TrueTypeFont::PackFont(std::span<const std::string> onlyTables) {
  const size_t glyfIndex = [&] {
    for (size_t i = 0; i < ListOfTables.size(); ++i)
      if (ListOfTables[i].entry.tag == TagValue("glyf")) return i;
    throw ETrueTypeError("Glyph table not found");
  }();
  size_t locaIndex = ListOfTables.size(), headIndex = ListOfTables.size(), hmtxIndex = ListOfTables.size();
  for (size_t i = 0; i < ListOfTables.size(); ++i) {
    if (ListOfTables[i].entry.tag == TagValue("loca")) locaIndex = i;
    if (ListOfTables[i].entry.tag == TagValue("head")) headIndex = i;
    if (ListOfTables[i].entry.tag == TagValue("hmtx")) hmtxIndex = i;
  }
  if (headIndex == ListOfTables.size()) FormatError();
  if (locaIndex == ListOfTables.size() || loca.empty()) throw ETrueTypeError("Glyph table not found");

  BuildGlyphIndexList();
  std::vector<bool> kept(numGlyphs, false);
  for (uint16_t g : Indices) kept[g] = true;

  // Every glyph keeps its index; the glyphs left out get zero-length entries. Kept outlines are
  // padded to 4 bytes so that short offsets (stored halved) stay exact.
  std::vector<uint8_t> glyf;
  std::vector<uint32_t> newLoca(size_t(numGlyphs) + 1, 0);
  for (unsigned g = 0; g < numGlyphs; ++g) {
    newLoca[g] = static_cast<uint32_t>(glyf.size());
    if (!kept[g]) continue;
    auto outline = GlyphData(static_cast<uint16_t>(g));
    glyf.insert(glyf.end(), outline.begin(), outline.end());
    PadTo4(glyf);
  }
  newLoca[numGlyphs] = static_cast<uint32_t>(glyf.size());

  // The metrics of the glyphs left out go too: a long metric (advance and side bearing) for
  // glyphs below numberOfHMetrics, a side bearing after them.
  if (hmtxIndex != ListOfTables.size()) {
    auto& hmtx = ListOfTables[hmtxIndex].data;
    for (unsigned g = 0; g < numGlyphs; ++g) {
      if (kept[g]) continue;
      const size_t at = g < numberOfHMetrics
                            ? 4 * size_t(g)
                            : 4 * size_t(numberOfHMetrics) + 2 * (size_t(g) - numberOfHMetrics);
      const size_t length = g < numberOfHMetrics ? 4 : 2;
      if (at + length <= hmtx.size()) std::fill_n(hmtx.begin() + static_cast<std::ptrdiff_t>(at), length, 0);
    }
  }

  // Short offsets (stored halved) whenever the outlines allow: every offset is a multiple of 4.
  auto& head = ListOfTables[headIndex].data;
  if (head.size() < 54) FormatError();
  const int16_t format = glyf.size() / 2 > 0xFFFF ? 1 : 0;
  PutU16(head, 50, static_cast<uint32_t>(format));
  std::vector<uint8_t> locaBytes;
  for (uint32_t v : newLoca) {
    if (format == 0)
      AppendU16(locaBytes, v / 2);
    else
      AppendU32(locaBytes, v);
  }
  ListOfTables[glyfIndex].data = std::move(glyf);
  ListOfTables[locaIndex].data = std::move(locaBytes);
  PutU32(head, 8, 0);

  // Tables in the order they had in the source, each on a 4-byte boundary.
  std::vector<bool> written(ListOfTables.size(), true);
  if (!onlyTables.empty())
    for (size_t i = 0; i < ListOfTables.size(); ++i)
      written[i] =
          std::find(onlyTables.begin(), onlyTables.end(), ListOfTables[i].TAGLINE()) != onlyTables.end();
  written[headIndex] = true;  // it carries the file's checksum adjustment
  const size_t numTables = static_cast<size_t>(std::count(written.begin(), written.end(), true));
  std::vector<uint8_t> out(12 + 16 * numTables, 0);
  for (uint32_t i : sourceOrder) {
    if (!written[i]) continue;
    auto& t = ListOfTables[i];
    if (out.size() % 4 != 0) throw ETrueTypeError("Align error");
    t.entry.offset = static_cast<uint32_t>(out.size());
    t.entry.length = static_cast<uint32_t>(t.data.size());
    t.entry.checkSum = TableChecksum(t.data);
    out.insert(out.end(), t.data.begin(), t.data.end());
    PadTo4(out);
  }

  // The search fields follow the number of tables actually written.
  unsigned entrySelector = 0;
  while ((2u << entrySelector) <= numTables) ++entrySelector;
  const unsigned searchRange = 16u << entrySelector;
  PutU32(out, 0, dir.sfntversion);
  PutU16(out, 4, static_cast<uint32_t>(numTables));
  PutU16(out, 6, numTables ? searchRange : 0);
  PutU16(out, 8, numTables ? entrySelector : 0);
  PutU16(out, 10, numTables ? static_cast<uint32_t>(numTables * 16 - searchRange) : 0);
  std::vector<const TrueTypeTable*> byTag;
  for (size_t i = 0; i < ListOfTables.size(); ++i)
    if (written[i]) byTag.push_back(&ListOfTables[i]);
  std::sort(byTag.begin(), byTag.end(), [](auto* a, auto* b) { return a->entry.tag < b->entry.tag; });
  size_t at = 12;
  for (const auto* t : byTag) {
    PutU32(out, at, t->entry.tag);
    PutU32(out, at + 4, t->entry.checkSum);
    PutU32(out, at + 8, t->entry.offset);
    PutU32(out, at + 12, t->entry.length);
    at += 16;
  }
  const uint32_t adjustment = 0xB1B0AFBAu - TableChecksum(out);
  const auto& headTable = ListOfTables[headIndex];
  PutU32(out, headTable.entry.offset + 8, adjustment);
  PutU32(head, 8, adjustment);
  // The face now describes the subset.
  indexToLocFormat = format;
  loca = std::move(newLoca);
  return out;
}

// ---------------------------------------------------------------------------------------------

void TrueTypeCollection::Initialize(std::span<const uint8_t> fontData) {
  data_.assign(fontData.begin(), fontData.end());
  faces_.clear();
  try {
    TByteReader r(data_);
    const uint32_t kind = r.U32BE();
    if (kind == 0x00010000u) {
      faces_.push_back(std::make_unique<TrueTypeFont>(data_, 0));
    } else if (kind == TagValue("ttcf")) {
      const uint32_t version = r.U32BE();
      if (version != 0x00010000u && version != 0x00020000u)
        throw ETrueTypeError("Unknown font collection version");
      const uint32_t count = r.U32BE();
      if (count > r.Remaining() / 4) FormatError();
      for (uint32_t i = 0; i < count; ++i) faces_.push_back(std::make_unique<TrueTypeFont>(data_, r.U32BE()));
    } else if (kind != TagValue("OTTO")) {
      FormatError();
    }
  } catch (const EReadError&) {
    FormatError();
  }
}

TrueTypeFont* TrueTypeCollection::LoadFont(const WideString& faceName, bool bold, bool italic,
                                           size_t fallbackIndex) {
  if (faces_.empty()) return nullptr;
  static const std::map<WideString, WideString> substitutes = {
      {u"\uFF2D\uFF33 \u30B4\u30B7\u30C3\u30AF", u"MS Gothic"},
      {u"\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF", u"MS PGothic"},
      {u"\uFF2D\uFF33 \u660E\u671D", u"MS Mincho"},
      {u"\uFF2D\uFF33 \uFF30\u660E\u671D", u"MS PMincho"},
      {u"\u30E1\u30A4\u30EA\u30AA", u"Meiryo"},
      {u"Tahoma Bold", u"Tahoma Negreta"},
  };
  WideString wanted = faceName;
  if (auto it = substitutes.find(faceName); it != substitutes.end()) {
    wanted = it->second;
  } else {
    if (bold) wanted += u" Bold";
    if (italic) wanted += u" Italic";
  }
  for (auto& face : faces_) {
    face->PrepareFont(PdfSkippedTables());
    if (face->FullName() == wanted || face->FamilyName() == wanted) return face.get();
  }
  TrueTypeFont* face = faces_[fallbackIndex < faces_.size() ? fallbackIndex : 0].get();
  face->SetSubstitutionName(wanted + u" - " + face->FullName());
  return face;
}

std::vector<uint8_t> TrueTypeCollection::PackFont(TrueTypeFont& ttf,
                                                  const std::vector<uint32_t>& usedAlphabet,
                                                  std::span<const std::string> onlyTables) {
  for (uint32_t g : usedAlphabet) ttf.AddCharacterToKeepList(g);
  return ttf.PackFont(onlyTables);
}

}  // namespace pagewright
