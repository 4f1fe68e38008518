#include "export/pdf/truetype.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "platform/streams.h"
#include "render/fonts.h"

namespace pagewright {
namespace {

std::vector<uint8_t> ArialBytes(bool bold = false) {
  TFontStyles style;
  if (bold) style.Include(fsBold);
  return FindFont(u"Arial", -100, style).FontFileBytes();
}

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
  return (uint32_t(b.at(at)) << 24) | (uint32_t(b.at(at + 1)) << 16) | (uint32_t(b.at(at + 2)) << 8) |
         b.at(at + 3);
}

void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// The subset read back by the reader with checksum checking on.
TrueTypeFont Reread(const std::vector<uint8_t>& subset) {
  TrueTypeFont face(subset, 0);
  face.checksum_action = ChecksumFaultAction_ThrowException;
  face.PrepareFont({});
  return face;
}

TEST(TrueTypeSubset, KeepsTheStructureValidAndOnlyTheKeptOutlines) {
  const auto bytes = ArialBytes();
  TrueTypeCollection collection;
  collection.Initialize(bytes);
  ASSERT_EQ(collection.Count(), 1u);
  TrueTypeFont* face = collection.LoadFont(u"Arial", false, false);
  ASSERT_NE(face, nullptr);
  // Arial resolves to another family, so the face is a substitute.
  EXPECT_EQ(face->SubstitutionName(), u"Arial - Liberation Sans");
  EXPECT_EQ(face->FamilyName(), u"Liberation Sans");
  const unsigned numGlyphs = face->NumGlyphs();
  ASSERT_GT(numGlyphs, 1000u);
  const uint16_t capitalA = face->GlyphIndex('A');
  ASSERT_EQ(capitalA, 36);
  EXPECT_EQ(face->GlyphIndex(' '), 3);
  const size_t tablesBefore = face->Tables().size();
  const int widthA = face->GlyphAdvance(36);

  const auto subset = collection.PackFont(*face, {3, 36});
  ASSERT_LT(subset.size(), bytes.size() / 2);

  // Whole-file checksum including the adjustment.
  uint32_t sum = 0;
  for (size_t i = 0; i + 4 <= subset.size(); i += 4) sum += U32At(subset, i);
  EXPECT_EQ(sum, 0xB1B0AFBAu);
  EXPECT_EQ(subset.size() % 4, 0u);

  const unsigned numTables = (subset[4] << 8) | subset[5];
  EXPECT_EQ(numTables, tablesBefore);
  uint32_t previousTag = 0;
  for (unsigned i = 0; i < numTables; ++i) {
    const size_t entry = 12 + 16 * i;
    const uint32_t tag = U32At(subset, entry);
    EXPECT_GT(tag, previousTag) << "directory sorted by tag";
    previousTag = tag;
    EXPECT_EQ(U32At(subset, entry + 8) % 4, 0u) << TagText(tag);
    EXPECT_NE(TagText(tag), "hdmx");
  }
  const unsigned searchRange = (subset[6] << 8) | subset[7];
  EXPECT_LE(searchRange, numTables * 16);
  EXPECT_GT(searchRange * 2, numTables * 16);

  TrueTypeFont again = Reread(subset);  // every table checksum verified
  EXPECT_EQ(again.NumGlyphs(), numGlyphs);
  EXPECT_EQ(again.GlyphIndex('A'), 36) << "glyph indices do not change";
  EXPECT_EQ(again.GlyphAdvance(36), widthA);
  EXPECT_EQ(face->get_GlyphWidth(36), widthA);
  std::vector<unsigned> withOutline;
  for (unsigned g = 0; g < numGlyphs; ++g)
    if (!again.GlyphData(static_cast<uint16_t>(g)).empty()) withOutline.push_back(g);
  EXPECT_EQ(withOutline, std::vector<unsigned>{36});  // the space has no outline of its own
  EXPECT_EQ(again.FindTable("loca")->data.size(),
            (numGlyphs + 1) * ((again.FindTable("head")->data[51] == 0) ? 2u : 4u));
}

// The subset a PDF embeds: only the font program's tables, every glyph index kept, the outlines
// and metrics of the glyphs left out gone, short offsets, and a valid file.
TEST(TrueTypeSubset, FontProgramHoldsOnlyTheTablesAViewerReads) {
  for (bool bold : {false, true}) {
    SCOPED_TRACE(bold ? "bold" : "regular");
    const auto bytes = ArialBytes(bold);
    TrueTypeCollection collection;
    collection.Initialize(bytes);
    TrueTypeFont* face = collection.LoadFont(u"Arial", bold, false);
    ASSERT_NE(face, nullptr);
    const unsigned numGlyphs = face->NumGlyphs();
    std::vector<std::string> expected;
    for (const std::string& tag : PdfFontProgramTables())
      if (face->FindTable(tag)) expected.push_back(tag);
    std::sort(expected.begin(), expected.end());
    ASSERT_GE(expected.size(), 6u) << "head, hhea, hmtx, loca, maxp and glyf at least";
    ASSERT_NE(face->FindTable("GPOS"), nullptr) << "the face has tables a viewer does not read";
    const int widthA = face->GlyphAdvance(36);

    const auto subset = collection.PackFont(*face, {3, 36, 37}, PdfFontProgramTables());
    EXPECT_LT(subset.size(), bytes.size() / 10);
    uint32_t sum = 0;
    for (size_t i = 0; i + 4 <= subset.size(); i += 4) sum += U32At(subset, i);
    EXPECT_EQ(sum, 0xB1B0AFBAu);

    TrueTypeFont again = Reread(subset);
    std::vector<std::string> tags;
    for (const auto& t : again.Tables()) tags.push_back(t.TAGLINE());
    EXPECT_EQ(tags, expected) << "directory sorted by tag, nothing else";
    EXPECT_EQ(again.NumGlyphs(), numGlyphs) << "glyph indices do not change";
    EXPECT_EQ(again.FindTable("head")->data[51], 0) << "short offsets";
    EXPECT_EQ(again.FindTable("loca")->data.size(), (numGlyphs + 1) * 2u);
    EXPECT_EQ(again.GlyphAdvance(36), widthA);
    EXPECT_FALSE(again.GlyphData(37).empty());
    // A glyph left out has neither an outline nor metrics.
    const uint16_t capitalZ = face->GlyphIndex('Z');
    EXPECT_TRUE(again.GlyphData(capitalZ).empty());
    EXPECT_EQ(again.GlyphAdvance(capitalZ), 0);
  }
}

TEST(TrueTypeSubset, CompositeGlyphBringsItsComponents) {
  const auto bytes = ArialBytes();
  TrueTypeCollection collection;
  collection.Initialize(bytes);
  TrueTypeFont* face = collection.LoadFont(u"Arial", false, false);
  ASSERT_NE(face, nullptr);
  uint16_t composite = 0;
  std::vector<uint16_t> components;
  // The first composite made of glyphs with outlines of their own (an accented letter).
  for (unsigned g = 1; g < face->NumGlyphs() && components.empty(); ++g) {
    components = face->GlyphComponents(static_cast<uint16_t>(g));
    composite = static_cast<uint16_t>(g);
    for (uint16_t c : components)
      if (face->GlyphData(c).empty()) components.clear();
  }
  ASSERT_FALSE(components.empty()) << "the face has composite glyphs";
  std::vector<std::vector<uint8_t>> outlines;
  for (uint16_t c : components) outlines.emplace_back(face->GlyphData(c).begin(), face->GlyphData(c).end());
  const auto subset = collection.PackFont(*face, {composite});
  TrueTypeFont again = Reread(subset);
  EXPECT_FALSE(again.GlyphData(composite).empty());
  bool anyOutline = false;
  for (size_t i = 0; i < components.size(); ++i) {
    const auto kept = again.GlyphData(components[i]);
    // Outlines are kept padded to four bytes.
    EXPECT_EQ(std::vector<uint8_t>(kept.begin(), kept.begin() + std::min(kept.size(), outlines[i].size())),
              outlines[i])
        << "component " << components[i];
    anyOutline = anyOutline || !outlines[i].empty();
  }
  EXPECT_TRUE(anyOutline);
  EXPECT_EQ(again.GlyphComponents(composite), components);
}

// Two single-face files joined into one collection, table offsets moved accordingly.
std::vector<uint8_t> MakeCollection(const std::vector<std::vector<uint8_t>>& fonts) {
  std::vector<uint8_t> out(12 + 4 * fonts.size(), 0);
  std::memcpy(out.data(), "ttcf", 4);
  PutU32(out, 4, 0x00010000);
  PutU32(out, 8, static_cast<uint32_t>(fonts.size()));
  for (size_t f = 0; f < fonts.size(); ++f) {
    while (out.size() % 4) out.push_back(0);
    const uint32_t base = static_cast<uint32_t>(out.size());
    PutU32(out, 12 + 4 * f, base);
    std::vector<uint8_t> font = fonts[f];
    const unsigned n = (font[4] << 8) | font[5];
    for (unsigned i = 0; i < n; ++i) PutU32(font, 12 + 16 * i + 8, U32At(font, 12 + 16 * i + 8) + base);
    out.insert(out.end(), font.begin(), font.end());
  }
  return out;
}

TEST(TrueTypeCollectionTest, SelectsTheFaceByFullNameWithStyle) {
  const auto collectionBytes = MakeCollection({ArialBytes(false), ArialBytes(true)});
  TrueTypeCollection collection;
  collection.Initialize(collectionBytes);
  ASSERT_EQ(collection.Count(), 2u);
  TrueTypeFont* bold = collection.LoadFont(u"Liberation Sans", true, false);
  ASSERT_NE(bold, nullptr);
  EXPECT_EQ(bold->FullName(), u"Liberation Sans Bold");
  EXPECT_TRUE(bold->SubstitutionName().empty());
  TrueTypeFont* regular = collection.LoadFont(u"Liberation Sans", false, false);
  EXPECT_EQ(regular->FullName(), u"Liberation Sans");
  // A subset of the second face is a single-face file again.
  const auto subset = collection.PackFont(*bold, {36});
  EXPECT_EQ(Reread(subset).FullName(), u"Liberation Sans Bold");
}

TEST(TrueTypeCollectionTest, MalformedFilesRaiseTheirMessages) {
  const auto good = ArialBytes();
  auto truncated = std::vector<uint8_t>(good.begin(), good.begin() + 40);
  auto tableOutside = good;
  PutU32(tableOutside, 12 + 8, 0x7FFFFFF0);  // first table's offset
  auto badVersion = std::vector<uint8_t>{'t', 't', 'c', 'f', 0, 3, 0, 0, 0, 0, 0, 0};
  auto hugeCount = std::vector<uint8_t>{'t', 't', 'c', 'f', 0, 1, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
  struct Case {
    const char* name;
    std::vector<uint8_t> data;
    const char* message;
  } cases[] = {
      {"empty", {}, "TrueType font format error"},
      {"unknown kind", {'w', 'O', 'F', 'F', 0, 0, 0, 0}, "TrueType font format error"},
      {"collection version", badVersion, "Unknown font collection version"},
      {"collection count", hugeCount, "TrueType font format error"},
      {"truncated directory", truncated, "TrueType font format error"},
      {"table outside the file", tableOutside, "TrueType font format error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TrueTypeCollection collection;
    try {
      collection.Initialize(c.data);
      collection.LoadFont(u"Arial", false, false);
      FAIL() << "no exception";
    } catch (const ETrueTypeError& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
  TrueTypeCollection cff;
  cff.Initialize(std::vector<uint8_t>{'O', 'T', 'T', 'O', 0, 0});
  EXPECT_EQ(cff.LoadFont(u"Arial", false, false), nullptr);
}

TEST(TrueTypeCollectionTest, ChecksumMismatchIsReportedOnlyWhenAsked) {
  auto bytes = ArialBytes();
  // Corrupt one byte inside the first table.
  bytes.at(U32At(bytes, 12 + 8) + 1) ^= 0xFF;
  TrueTypeFont ignoring(bytes, 0);
  EXPECT_NO_THROW(ignoring.PrepareFont({}));
  TrueTypeFont warning(bytes, 0);
  warning.checksum_action = ChecksumFaultAction_Warn;
  warning.PrepareFont({});
  ASSERT_EQ(warning.Warnings.size(), 1u);
  EXPECT_EQ(warning.Warnings[0].rfind("Table ID \"" + TagText(U32At(bytes, 12)) + "\" checksum error.", 0),
            0u);
  TrueTypeFont throwing(bytes, 0);
  throwing.checksum_action = ChecksumFaultAction_ThrowException;
  EXPECT_THROW(throwing.PrepareFont({}), ETrueTypeError);
}

TEST(TrueTypeCollectionTest, KeepListRejectsValuesBeyondSixteenBits) {
  TrueTypeCollection collection;
  collection.Initialize(ArialBytes());
  TrueTypeFont* face = collection.LoadFont(u"Arial", false, false);
  try {
    face->AddCharacterToKeepList(70000);
    FAIL();
  } catch (const ETrueTypeError& e) {
    EXPECT_EQ(e.Message(), "Format error");
  }
}

// Inputs kept from fuzzing: each is read, a subset made when it has glyphs, and the subset must
// read back with correct checksums.
TEST(TrueTypeCollectionTest, KeptFuzzInputsReadSafely) {
  const std::filesystem::path dir = std::filesystem::path(PW_TEST_DATA_DIR) / "truetype" / "fuzz";
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    SCOPED_TRACE(entry.path().filename().string());
    std::ifstream in(entry.path(), std::ios::binary);
    const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), {});
    ++files;
    TrueTypeCollection collection;
    std::vector<uint8_t> subset;
    try {
      collection.Initialize(data);
      TrueTypeFont* face = collection.LoadFont(u"Arial", false, false);
      if (!face) continue;
      std::vector<uint32_t> used;
      for (unsigned g = 0; g < face->NumGlyphs(); g += 3) used.push_back(g);
      subset = collection.PackFont(*face, used);
    } catch (const ETrueTypeError&) {
      continue;
    }
    EXPECT_NO_THROW(Reread(subset));
  }
  EXPECT_GT(files, 0u);
}

}  // namespace
}  // namespace pagewright
