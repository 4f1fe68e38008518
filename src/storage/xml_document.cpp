#include "storage/xml_document.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/code_pages.h"
#include "platform/files.h"
#include "platform/format.h"
#include "platform/scope_guard.h"
#include "platform/stack_guard.h"
#include "platform/unicode.h"

namespace pagewright {

namespace {

constexpr const char* kInvalidFormat = "Invalid file format";

[[noreturn]] void ListIndexError(int index) {
  throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

// A read-only stream over bytes the caller keeps alive (no copy of a whole document).
class ViewStream : public TStream {
 public:
  explicit ViewStream(std::string_view bytes) : bytes_(bytes) {}
  int64_t Read(void* buffer, int64_t count) override {
    if (count <= 0 || position_ >= static_cast<int64_t>(bytes_.size())) return 0;
    int64_t k = std::min<int64_t>(count, static_cast<int64_t>(bytes_.size()) - position_);
    std::memcpy(buffer, bytes_.data() + position_, static_cast<size_t>(k));
    position_ += k;
    return k;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    int64_t base = origin == soBeginning ? 0
                   : origin == soCurrent ? position_
                                         : static_cast<int64_t>(bytes_.size());
    position_ = std::max<int64_t>(0, base + offset);
    return position_;
  }
  int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }
  void SetSize(int64_t) override { throw EStreamError("Stream is read-only"); }

 private:
  std::string_view bytes_;
  int64_t position_ = 0;
};

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && WideUpperChar(a[i]) != WideUpperChar(b[i])) return false;
  return true;
}

// Index in text of the name of attribute `name`: the first place where " " + text contains
// " " + name + "=\"", ignoring case; npos when absent.
size_t FindAttribute(const WideString& text, std::u16string_view name) {
  const size_t n = name.size();
  if (text.size() < n + 2) return WideString::npos;
  const size_t last = text.size() - (n + 2);  // last possible start of the name in text
  for (size_t k = 0; k <= last; ++k) {
    if (k > 0 && text[k - 1] != u' ') continue;
    if (text[k + n] != u'=' || text[k + n + 1] != u'"') continue;
    if (EqualsIgnoreCase(std::u16string_view(text).substr(k, n), name)) return k;
  }
  return WideString::npos;
}

void AppendNumber(WideString& out, unsigned v) {
  char buf[16];
  int len = std::snprintf(buf, sizeof buf, "%u", v);
  for (int i = 0; i < len; ++i) out.push_back(static_cast<char16_t>(buf[i]));
}

bool StartsWith(std::u16string_view s, size_t at, std::u16string_view what) {
  return s.size() - at >= what.size() && s.substr(at, what.size()) == what;
}

}  // namespace

// ---- Conversions -------------------------------------------------------------------------

WideString EncodeXmlText(std::u16string_view s) {
  WideString out;
  out.reserve(s.size() + 8);
  for (size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i];
    switch (c) {
      case 0:
        if (s.size() < 32)
          out += u"&#0;";
        else
          out.push_back(u' ');
        break;
      case 10:
      case 13:
      case 34:
      case 60:
      case 62:
        out += u"&#";
        AppendNumber(out, c);
        out.push_back(u';');
        break;
      case 38:
        if (StartsWith(s, i, u"&quot;")) {
          out += u"&#34;";
          i += 5;
        } else {
          out += u"&#38;";
        }
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

WideString DecodeXmlEntities(std::u16string_view s) {
  if (s.find(u'&') == std::u16string_view::npos) return WideString(s);
  WideString out;
  out.reserve(s.size());
  const size_t n = s.size();
  // The next semicolon at or after the scan position: found once per stretch so that many
  // "&#" without a semicolon do not make the scan quadratic.
  size_t nextSemicolon = 0;
  bool semicolonKnown = false;
  size_t i = 0;
  while (i < n) {
    char16_t c = s[i];
    if (c == u'&' && i + 1 < n) {
      if (s[i + 1] == u'#') {
        if (!semicolonKnown || (nextSemicolon != std::u16string_view::npos && nextSemicolon < i + 2)) {
          nextSemicolon = s.find(u';', i + 2);
          semicolonKnown = true;
        }
        if (nextSemicolon != std::u16string_view::npos) {
          auto digits = s.substr(i + 2, nextSemicolon - (i + 2));
          // Hexadecimal references are not part of the dialect: the ampersand stays.
          if (digits.empty() || (digits[0] != u'x' && digits[0] != u'X')) {
            int32_t code = 0;
            if (!TryStrToInt(WideString(digits), code))
              throw EConvertError("'&#" + Utf16ToUtf8(digits) + ";' is not a valid character reference");
            out.push_back(static_cast<char16_t>(static_cast<uint32_t>(code) & 0xFFFF));
            i = nextSemicolon + 1;
            continue;
          }
        }
      } else if (StartsWith(s, i, u"&quot;")) {
        out.push_back(u'"');
        i += 6;
        continue;
      } else if (StartsWith(s, i, u"&amp;")) {
        out.push_back(u'&');
        i += 5;
        continue;
      } else if (StartsWith(s, i, u"&lt;")) {
        out.push_back(u'<');
        i += 4;
        continue;
      } else if (StartsWith(s, i, u"&gt;")) {
        out.push_back(u'>');
        i += 4;
        continue;
      }
    }
    out.push_back(c);
    ++i;
  }
  return out;
}

WideString ValueToXmlText(const Variant& v) {
  switch (v.VarType()) {
    case varSmallint:
    case varInteger:
    case varByte:
      return IntToStr(v.AsInteger());
    case varSingle:
    case varDouble:
      return FloatToStr(v.AsExtended());
    case varCurrency:
      return FloatToStr(v.AsCurrency());
    case varDate:
      return DateToStr(v.AsDateTime());
    case varString:
    case varOleStr:
    case varUString:
      return EncodeXmlText(v.StringRef());
    case varBoolean:
      return v.AsBoolean() ? u"1" : u"0";
    default:
      return {};
  }
}

// ---- TpgwXMLItem -------------------------------------------------------------------------

TpgwXMLItem::~TpgwXMLItem() = default;

void TpgwXMLItem::SetData(WideString name, WideString text, WideString value) {
  FName = std::move(name);
  FText = std::move(text);
  FValue = std::move(value);
}

TpgwXMLItem* TpgwXMLItem::Items(int index) const {
  if (index < 0 || index >= Count()) ListIndexError(index);
  return FItems[static_cast<size_t>(index)].get();
}

TpgwXMLItem* TpgwXMLItem::Add() {
  FItems.push_back(std::make_unique<TpgwXMLItem>());
  FItems.back()->FParent = this;
  return FItems.back().get();
}

TpgwXMLItem* TpgwXMLItem::Add(WideString name) {
  TpgwXMLItem* item = Add();
  item->FName = std::move(name);
  return item;
}

namespace {
void CheckMovable(const TpgwXMLItem* target, const TpgwXMLItem* item) {
  for (const TpgwXMLItem* p = target; p; p = p->Parent())
    if (p == item) throw EInvalidOperation("Cannot move an XML item into itself or its own children");
}
}  // namespace

void TpgwXMLItem::AddItem(TpgwXMLItem* item) {
  if (!item) return;
  if (!item->FParent) throw EInvalidOperation("XML item has no parent; pass its ownership instead");
  CheckMovable(this, item);
  AddItem(item->FParent->Extract(item));
}

TpgwXMLItem* TpgwXMLItem::AddItem(std::unique_ptr<TpgwXMLItem> item) {
  if (!item) return nullptr;
  if (item->FParent) throw EInvalidOperation("XML item already has a parent");
  CheckMovable(this, item.get());
  item->FParent = this;
  FItems.push_back(std::move(item));
  return FItems.back().get();
}

void TpgwXMLItem::InsertItem(int index, TpgwXMLItem* item) {
  if (!item) return;
  if (!item->FParent) throw EInvalidOperation("XML item has no parent; pass its ownership instead");
  CheckMovable(this, item);
  int limit = Count() - (item->FParent == this ? 1 : 0);
  if (index < 0 || index > limit) ListIndexError(index);
  InsertItem(index, item->FParent->Extract(item));
}

TpgwXMLItem* TpgwXMLItem::InsertItem(int index, std::unique_ptr<TpgwXMLItem> item) {
  if (!item) return nullptr;
  if (item->FParent) throw EInvalidOperation("XML item already has a parent");
  CheckMovable(this, item.get());
  if (index < 0 || index > Count()) ListIndexError(index);
  item->FParent = this;
  auto it = FItems.insert(FItems.begin() + index, std::move(item));
  return it->get();
}

void TpgwXMLItem::Clear() {
  FItems.clear();
  if (FUnloadable) FLoaded = false;
}

void TpgwXMLItem::Delete(int index) {
  if (index < 0 || index >= Count()) ListIndexError(index);
  FItems.erase(FItems.begin() + index);
}

std::unique_ptr<TpgwXMLItem> TpgwXMLItem::Detach(int index) {
  std::unique_ptr<TpgwXMLItem> item = std::move(FItems[static_cast<size_t>(index)]);
  FItems.erase(FItems.begin() + index);
  item->FParent = nullptr;
  return item;
}

std::unique_ptr<TpgwXMLItem> TpgwXMLItem::Extract(TpgwXMLItem* child) {
  int i = IndexOf(child);
  if (i < 0) return nullptr;
  return Detach(i);
}

void TpgwXMLItem::Free() {
  if (!FParent) throw EInvalidOperation("XML item has no parent");
  TpgwXMLItem* parent = FParent;
  parent->Delete(parent->IndexOf(this));
}

int TpgwXMLItem::Find(std::u16string_view name) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (EqualsIgnoreCase(FItems[i]->FName, name)) return static_cast<int>(i);
  return -1;
}

TpgwXMLItem* TpgwXMLItem::FindItem(std::u16string_view name) {
  int i = Find(name);
  return i < 0 ? Add(WideString(name)) : FItems[static_cast<size_t>(i)].get();
}

int TpgwXMLItem::IndexOf(const TpgwXMLItem* item) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i].get() == item) return static_cast<int>(i);
  return -1;
}

TpgwXMLItem* TpgwXMLItem::Root() {
  TpgwXMLItem* p = this;
  while (p->FParent) p = p->FParent;
  return p;
}

WideString TpgwXMLItem::GetProp(std::u16string_view name) const {
  size_t k = FindAttribute(FText, name);
  if (k == WideString::npos) return {};
  size_t start = k + name.size() + 2;
  size_t end = FText.find(u'"', start);
  if (end == WideString::npos) end = FText.size();
  return DecodeXmlEntities(std::u16string_view(FText).substr(start, end - start));
}

bool TpgwXMLItem::PropExists(std::u16string_view name) const {
  return FindAttribute(FText, name) != WideString::npos;
}

void TpgwXMLItem::SetProp(std::u16string_view name, std::u16string_view value) {
  WideString attr;
  WideString encoded = EncodeXmlText(value);
  attr.reserve(name.size() + encoded.size() + 3);
  attr.append(name);
  attr += u"=\"";
  attr += encoded;
  attr.push_back(u'"');
  size_t k = FindAttribute(FText, name);
  if (k != WideString::npos) {
    size_t close = FText.find(u'"', k + name.size() + 2);
    size_t end = close == WideString::npos ? FText.size() : close + 1;
    FText.replace(k, end - k, attr);
  } else {
    if (!FText.empty() && FText.back() != u' ') FText.push_back(u' ');
    FText += attr;
  }
}

void TpgwXMLItem::DeleteProp(std::u16string_view name) {
  if (FindAttribute(FText, name) == WideString::npos) return;
  SetProp(name, u"");
  size_t k = FindAttribute(FText, name);
  FText.erase(k, std::min(name.size() + 4, FText.size() - k));
}

// ---- Reader --------------------------------------------------------------------------------

TpgwXMLReader::TpgwXMLReader(TStream& stream) : FStream(stream) {
  FBufferStart = FStream.Position();
  FLinesKnown = FBufferStart == 0;
}

void TpgwXMLReader::Fail() {
  throw TpgwInvalidXMLException(kInvalidFormat);
}

bool TpgwXMLReader::Fill() {
  FBufferStart += static_cast<int64_t>(FBufEnd);
  FBufPos = 0;
  int64_t got = FStream.Read(FBuffer, static_cast<int64_t>(BufferSize));
  // A stream that claims more than it was given counts as ended.
  FBufEnd = got > 0 && got <= static_cast<int64_t>(BufferSize) ? static_cast<size_t>(got) : 0;
  return FBufEnd > 0;
}

void TpgwXMLReader::SetPosition(int64_t position) {
  FBufferStart = FStream.Seek(position, soBeginning);
  FBufPos = FBufEnd = 0;
  FLinesKnown = false;
}

void TpgwXMLReader::Finish() {
  FStream.Seek(Position(), soBeginning);
}

void TpgwXMLReader::ReadTag(WideString& name, WideString& text) {
  name.clear();
  text.clear();
  for (;;) {
    // Skip to the next '<' (a byte order mark and character content included).
    for (;;) {
      if (FBufPos == FBufEnd && !Fill()) return;
      const char* start = FBuffer + FBufPos;
      const void* hit = std::memchr(start, '<', FBufEnd - FBufPos);
      const char* skippedEnd = hit ? static_cast<const char*>(hit) : FBuffer + FBufEnd;
      FLine += static_cast<int>(std::count(start, skippedEnd, '\n'));
      if (hit) {
        FBufPos = static_cast<size_t>(static_cast<const char*>(hit) - FBuffer) + 1;
        break;
      }
      FBufPos = FBufEnd;
    }
    FTagPosition = Position() - 1;
    FTagLine = FLine;
    FTag.clear();

    // The first three bytes decide whether this is a comment.
    bool comment = false;
    bool closed = false;
    while (FTag.size() < 3) {
      int c = NextByte();
      if (c < 0 || c == '<') Fail();
      if (c == '>') {
        closed = true;
        break;
      }
      FTag.push_back(static_cast<char>(c));
    }
    if (!closed && FTag == "!--") comment = true;

    if (comment) {
      // Ends at '>' after exactly two dashes; a third dash starts the count again.
      int dashes = 0;
      for (;;) {
        int c = NextByte();
        if (c < 0) Fail();
        if (c == '\n') ++FLine;
        if (c == '-') {
          if (++dashes == 3) dashes = 0;
        } else if (c == '>' && dashes == 2) {
          break;
        } else {
          dashes = 0;
        }
      }
      continue;
    }

    while (!closed) {
      if (FBufPos == FBufEnd && !Fill()) Fail();
      size_t i = FBufPos;
      while (i < FBufEnd && FBuffer[i] != '>' && FBuffer[i] != '<') ++i;
      FTag.append(FBuffer + FBufPos, i - FBufPos);
      FBufPos = i;
      if (i < FBufEnd) {
        if (FBuffer[i] == '<') Fail();
        ++FBufPos;
        closed = true;
      }
    }
    FLine += static_cast<int>(std::count(FTag.begin(), FTag.end(), '\n'));
    break;
  }

  std::string_view tag(FTag);
  if (!tag.empty() && tag.back() == ' ') tag.remove_suffix(1);
  size_t blank = tag.find(' ');
  if (blank == std::string_view::npos) {
    name = AnsiToWide(tag);
  } else {
    name = AnsiToWide(tag.substr(0, blank));
    auto attrs = tag.substr(blank + 1);
    text = FOldFormat ? AnsiToWide(attrs) : Utf8ToUtf16(attrs);
  }
}

void TpgwXMLReader::ReadHeader() {
  WideString name, text;
  ReadTag(name, text);
  if (name.compare(0, 4, u"?xml") != 0 || name.size() < 4) Fail();
  std::string_view header(FTag);
  size_t v = header.find("version=");
  std::string_view version;
  if (v != std::string_view::npos && v + 9 <= header.size()) version = header.substr(v + 9, 3);
  FOldFormat = version == "1.0" && header.find("standalone=") == std::string_view::npos;
  FHeaderCodePage = 1252;
  const size_t e = header.find("encoding=\"");
  if (e != std::string_view::npos) {
    std::string_view name = header.substr(e + 10);
    name = name.substr(0, name.find('"'));
    for (std::string_view prefix : {"windows-", "Windows-", "WINDOWS-", "cp", "CP"}) {
      if (name.substr(0, prefix.size()) != prefix) continue;
      uint32_t page = 0;
      const std::string_view digits = name.substr(prefix.size());
      bool ok = !digits.empty() && digits.size() <= 5;
      for (char c : digits) {
        if (c < '0' || c > '9')
          ok = false;
        else
          page = page * 10 + static_cast<uint32_t>(c - '0');
      }
      if (ok && IsCodePageSupported(page)) FHeaderCodePage = page;
      break;
    }
  }
}

namespace {
// Finds the partial-loading marker ` ld="0"` in attribute text, ignoring case. Returns its
// start and length, or npos. Attribute text that is nothing but the marker (an unloadable
// element without attributes of its own) counts too.
size_t FindLoadMarker(const WideString& text, size_t& length) {
  static constexpr std::u16string_view marker = u" ld=\"0\"";
  if (text.size() >= marker.size()) {
    for (size_t k = 0; k + marker.size() <= text.size(); ++k) {
      if (text[k] != u' ') continue;
      if (EqualsIgnoreCase(std::u16string_view(text).substr(k, marker.size()), marker)) {
        length = marker.size();
        return k;
      }
    }
  }
  if (EqualsIgnoreCase(text, marker.substr(1))) {
    length = text.size();
    return 0;
  }
  return WideString::npos;
}
}  // namespace

bool TpgwXMLReader::ReadItem(TpgwXMLItem* item, bool allowPartialLoading, int depth) {
  if (depth > MaxDepth) Fail();
  StackGuard stack;  // the fixed depth alone is too deep for a small thread stack
  ReadTag(item->FName, item->FText);
  const int64_t start = FTagPosition;
  item->FLine = TagLine();
  WideString& name = item->FName;
  WideString& text = item->FText;
  if (name.empty() || name[0] == u'/') return false;

  bool hasChildren = true;
  if (name.back() == u'/') {
    name.pop_back();
    hasChildren = false;
  }
  if (!text.empty() && text.back() == u'/') {
    text.pop_back();
    hasChildren = false;
  }
  if (hasChildren) ReadChildren(item, allowPartialLoading, depth);

  size_t length = 0;
  size_t marker = FindLoadMarker(text, length);
  if (marker != WideString::npos) {
    text.erase(marker, length);
    if (allowPartialLoading) {
      item->FItems.clear();
      item->FOffset = start;
      item->FUnloadable = true;
      item->FLoaded = false;
    }
  }
  return true;
}

void TpgwXMLReader::ReadChildren(TpgwXMLItem* item, bool allowPartialLoading, int depth) {
  for (;;) {
    auto child = std::make_unique<TpgwXMLItem>();
    child->FParent = item;
    if (!ReadItem(child.get(), allowPartialLoading, depth + 1)) {
      // A closing tag must close this element; the end of the stream closes everything.
      const WideString& closing = child->FName;
      if (closing.empty()) FEndedInsideElement = true;
      if (!closing.empty() && !EqualsIgnoreCase(std::u16string_view(closing).substr(1), item->FName)) Fail();
      return;
    }
    item->FItems.push_back(std::move(child));
  }
}

// ---- Writer --------------------------------------------------------------------------------

TpgwXMLWriter::TpgwXMLWriter(TStream& stream, TpgwXMLDocument* document)
    : FStream(stream), FDocument(document) {
  FBuffer.reserve(8192);
}

TpgwXMLWriter::~TpgwXMLWriter() = default;

void TpgwXMLWriter::Flush() {
  if (!FBuffer.empty()) FStream.WriteBuffer(FBuffer);
  FBuffer.clear();
}

void TpgwXMLWriter::Put(std::string_view s) {
  FBuffer.append(s);
}

void TpgwXMLWriter::WriteLine(int level, std::string_view text1, std::string_view text2) {
  if (FAutoIndent) FBuffer.append(static_cast<size_t>(level) * 2, ' ');
  FBuffer.append(text1);
  FBuffer.append(text2);
  if (FAutoIndent) FBuffer.append("\r\n");
  if (FBuffer.size() > 4096) Flush();
}

void TpgwXMLWriter::WriteHeader() {
  WriteLine(0, "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"no\"?>");
}

void TpgwXMLWriter::WriteItem(TpgwXMLItem* item, int level) {
  bool reloaded = false;
  if (item->Unloadable() && !item->Loaded() && FDocument) {
    FDocument->LoadItem(item);
    reloaded = true;
  }
  const std::string name = WideToAnsi(item->Name());
  if (FAutoIndent) FBuffer.append(static_cast<size_t>(level) * 2, ' ');
  FBuffer.push_back('<');
  FBuffer.append(name);
  const WideString& text = item->Text();
  if (!text.empty()) {
    if (text[0] != u' ') FBuffer.push_back(' ');
    FBuffer.append(Utf16ToUtf8(text));
  }
  if (item->Unloadable()) FBuffer.append(" ld=\"0\"");
  if (item->Count() > 0) {
    FBuffer.push_back('>');
  } else if (!item->Value().empty()) {
    FBuffer.push_back('>');
    FBuffer.append(Utf16ToUtf8(item->Value()));
    FBuffer.append("</");
    FBuffer.append(name);
    FBuffer.push_back('>');
  } else {
    FBuffer.append("/>");
  }
  if (FAutoIndent) FBuffer.append("\r\n");
  if (FBuffer.size() > 4096) Flush();

  if (item->Count() > 0) {
    for (const auto& child : item->Children()) WriteItem(child.get(), level + 1);
    WriteLine(level, "</", name + ">");
  }
  if (reloaded) item->Clear();
}

// ---- Document ------------------------------------------------------------------------------

TpgwXMLDocument::TpgwXMLDocument() : FRoot(std::make_unique<TpgwXMLItem>()) {}

TpgwXMLDocument::~TpgwXMLDocument() {
  try {
    ReleaseStreams();
  } catch (...) {
  }
}

void TpgwXMLDocument::ReleaseStreams() {
  FTempStream = nullptr;
  FSourceFile.reset();
  FTempFileStream.reset();
  if (FTempFileCreated) DeleteFile(FTempFile);
  FTempFileCreated = false;
  FTempFile.clear();
  FSourceLimit = INT64_MAX;
}

void TpgwXMLDocument::Clear() {
  ReleaseStreams();
  FRoot->Clear();
}

void TpgwXMLDocument::LoadDocument(TStream& stream, bool allowPartialLoading) {
  ReleaseStreams();
  FRoot->FItems.clear();
  FRoot->FOffset = 0;
  FRoot->FUnloadable = false;
  FRoot->FLoaded = true;
  TpgwXMLReader reader(stream);
  reader.ReadHeader();
  FOldVersion = reader.OldFormat();
  FOldCodePage = reader.HeaderCodePage();
  reader.ReadItem(FRoot.get(), allowPartialLoading);
  FTruncated = reader.EndedInsideElement();
  reader.Finish();
  if (allowPartialLoading) FTempStream = &stream;
}

void TpgwXMLDocument::LoadFromStream(TStream& stream, bool allowPartialLoading) {
  LoadDocument(stream, allowPartialLoading);
}

void TpgwXMLDocument::LoadFromString(std::string_view bytes) {
  ViewStream stream(bytes);
  LoadDocument(stream, false);
}

void TpgwXMLDocument::LoadFromFile(const std::string& fileName) {
  auto file = std::make_unique<TFileStream>(fileName, fmOpenRead | fmShareDenyWrite);
  LoadDocument(*file, true);
  FSourceFile = std::move(file);
}

void TpgwXMLDocument::SaveToStream(TStream& stream) {
  TpgwXMLWriter writer(stream, this);
  writer.SetAutoIndent(FAutoIndent);
  writer.WriteHeader();
  writer.WriteItem(FRoot.get());
  writer.Flush();
}

std::string TpgwXMLDocument::SaveToString() {
  TStringStream out;
  SaveToStream(out);
  return out.DataString();
}

void TpgwXMLDocument::SaveToFile(const std::string& fileName) {
  const std::string tmp = fileName + ".tmp";
  {
    TFileStream out(tmp, fmCreate);
    SaveToStream(out);
  }
  DeleteFile(fileName);
  if (!RenameFile(tmp, fileName)) throw EInOutError("Cannot rename \"" + tmp + "\" to \"" + fileName + "\"");
  LoadFromFile(fileName);
}

void TpgwXMLDocument::CreateTempFile() {
  if (FTempFileCreated) return;
  const std::string dir = !FTempDir.empty() && DirectoryExists(FTempDir) ? FTempDir : std::string();
  const std::string path = pagewright::CreateTempFile(dir, "pw");
  std::unique_ptr<TStream> file;
  {
    auto removeFile = ScopeFail([&] {
      file.reset();
      DeleteFile(path);
    });
    file = std::make_unique<TFileStream>(path, fmOpenReadWrite);
    // Items still unloaded point into the current backing stream: carry its bytes over so
    // that their offsets stay valid in the new file.
    int64_t copied = 0;
    if (FTempStream) {
      FTempStream->Seek(0, soBeginning);
      copied = file->CopyFrom(*FTempStream, FTempStream->Size());
    }
    FSourceLimit = copied;
  }
  FSourceFile.reset();
  FTempFile = path;
  FTempFileCreated = true;
  FTempFileStream = std::move(file);
  FTempStream = FTempFileStream.get();
}

void TpgwXMLDocument::LoadItem(TpgwXMLItem* item) {
  if (!item || item->Loaded() || !item->Unloadable()) return;
  if (!FTempStream) throw TpgwInvalidXMLException(kInvalidFormat);
  int depth = 0;
  for (TpgwXMLItem* p = item->Parent(); p; p = p->Parent()) ++depth;
  TpgwXMLReader reader(*FTempStream);
  reader.SetOldFormat(FOldVersion && item->Offset() < FSourceLimit);
  reader.SetPosition(item->Offset());
  WideString name, text;
  reader.ReadTag(name, text);
  if (name.empty() || name[0] == u'/') throw TpgwInvalidXMLException(kInvalidFormat);
  item->FItems.clear();
  bool selfClosing = name.back() == u'/' || (!text.empty() && text.back() == u'/');
  if (!selfClosing) {
    auto dropPartial = ScopeFail([&] { item->FItems.clear(); });
    reader.ReadChildren(item, true, depth);
  }
  item->FLoaded = true;
}

void TpgwXMLDocument::UnloadItem(TpgwXMLItem* item) {
  if (!item || !item->Loaded() || !item->Unloadable()) return;
  CreateTempFile();
  // Written aside first: writing may read other unloaded items from the same backing file.
  TStringStream bytes;
  {
    TpgwXMLWriter writer(bytes, this);
    writer.WriteItem(item);
    writer.Flush();
  }
  const int64_t position = FTempStream->Seek(0, soEnd);
  FTempStream->WriteBuffer(bytes.DataString());
  item->FOffset = position;
  item->Clear();
}

}  // namespace pagewright
