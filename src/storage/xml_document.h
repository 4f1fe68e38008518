// The engine's XML dialect: an element tree whose attributes are kept as one raw text per
// element, with its reader and writer and the attribute text conversions.
//
// Only tags are read: character content between tags is skipped, attributes are looked up by
// name on demand. Element names are 8-bit text (the system code page), attribute text is UTF-8 in
// files (8-bit in documents of the old format) and UTF-16 in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/exceptions.h"
#include "platform/streams.h"
#include "platform/variant.h"
#include "platform/types.h"

namespace pagewright {

PW_DECLARE_EXCEPTION(TpgwInvalidXMLException, Exception)

class TpgwXMLDocument;

// One element.
class TpgwXMLItem {
 public:
  TpgwXMLItem() = default;
  ~TpgwXMLItem();
  TpgwXMLItem(const TpgwXMLItem&) = delete;
  TpgwXMLItem& operator=(const TpgwXMLItem&) = delete;

  // Free slot for the user of the tree.
  void* Data() const { return FData; }
  void SetData(void* data) { FData = data; }
  // Byte position of the start tag in the document's backing stream (partial loading).
  int64_t Offset() const { return FOffset; }
  void SetOffset(int64_t v) { FOffset = v; }
  // Line of the start tag in the document it was read from (1-based); 0 when not known.
  int Line() const { return FLine; }
  // Children are present in memory.
  bool Loaded() const { return FLoaded; }
  void SetLoaded(bool v) { FLoaded = v; }
  bool Modified() const { return FModified; }
  void SetModified(bool v) { FModified = v; }
  const WideString& Name() const { return FName; }
  void SetName(WideString v) { FName = std::move(v); }
  TpgwXMLItem* Parent() const { return FParent; }
  // Raw attribute text after the element name, entities still encoded.
  const WideString& Text() const { return FText; }
  void SetText(WideString v) { FText = std::move(v); }
  // The element may be dropped from memory and read back from the backing stream.
  bool Unloadable() const { return FUnloadable; }
  void SetUnloadable(bool v) { FUnloadable = v; }
  // Character content; written, never read.
  const WideString& Value() const { return FValue; }
  void SetValue(WideString v) { FValue = std::move(v); }
  // Name, text and value at once.
  void SetData(WideString name, WideString text, WideString value);

  int Count() const { return static_cast<int>(FItems.size()); }
  // Child at index (0-based); EListError when out of range.
  TpgwXMLItem* Items(int index) const;
  TpgwXMLItem* GetItems(int index) const { return Items(index); }
  TpgwXMLItem* operator[](int index) const { return Items(index); }

  // New child at the end; with a name, also sets it.
  TpgwXMLItem* Add();
  TpgwXMLItem* Add(WideString name);
  // Moves an item that has a parent to the end of this item's children.
  void AddItem(TpgwXMLItem* item);
  // Adopts an item without a parent at the end of the children.
  TpgwXMLItem* AddItem(std::unique_ptr<TpgwXMLItem> item);
  // Moves an item (with or without a parent) to the given index of this item's children.
  void InsertItem(int index, TpgwXMLItem* item);
  TpgwXMLItem* InsertItem(int index, std::unique_ptr<TpgwXMLItem> item);
  // Destroys all children; an unloadable item becomes not loaded.
  void Clear();
  // Destroys the child at index.
  void Delete(int index);
  // Takes a child out of this item, giving up ownership.
  std::unique_ptr<TpgwXMLItem> Extract(TpgwXMLItem* child);
  // Destroys this item, removing it from its parent; only for items that have a parent.
  void Free();
  // Index of the first child whose name equals name ignoring case, or -1.
  int Find(std::u16string_view name) const;
  // That child, or a new child with that name appended.
  TpgwXMLItem* FindItem(std::u16string_view name);
  int IndexOf(const TpgwXMLItem* item) const;
  // Topmost ancestor (this item when it has no parent).
  TpgwXMLItem* Root();

  // Attributes, looked up by name ignoring case in the raw text.
  WideString GetProp(std::u16string_view name) const;
  WideString Prop(std::u16string_view name) const { return GetProp(name); }
  void SetProp(std::u16string_view name, std::u16string_view value);
  bool PropExists(std::u16string_view name) const;
  void DeleteProp(std::u16string_view name);

  // The children in document order.
  const std::vector<std::unique_ptr<TpgwXMLItem>>& Children() const { return FItems; }

 private:
  friend class TpgwXMLDocument;
  friend class TpgwXMLReader;
  std::unique_ptr<TpgwXMLItem> Detach(int index);

  void* FData = nullptr;
  int64_t FOffset = 0;
  int FLine = 0;
  bool FLoaded = true;
  bool FModified = false;
  WideString FName;
  TpgwXMLItem* FParent = nullptr;
  WideString FText;
  bool FUnloadable = false;
  WideString FValue;
  std::vector<std::unique_ptr<TpgwXMLItem>> FItems;
};

// Reads elements from a byte stream through a 4096-byte buffer.
class TpgwXMLReader {
 public:
  // Nesting deeper than this is refused as a malformed document.
  static constexpr int MaxDepth = 1000;

  explicit TpgwXMLReader(TStream& stream);
  // Checks the "?xml" header and detects the old format.
  void ReadHeader();
  // Reads one element with its children into item. Returns false when a closing tag (or the
  // end of the stream) was read instead of an element.
  bool ReadItem(TpgwXMLItem* item, bool allowPartialLoading, int depth = 0);
  // Reads the children of item up to its closing tag.
  void ReadChildren(TpgwXMLItem* item, bool allowPartialLoading, int depth);
  // Reads one tag: name and raw attribute text; an empty name at the end of the stream.
  void ReadTag(WideString& name, WideString& text);
  // Leaves the stream just after the last byte consumed.
  void Finish();
  void SetPosition(int64_t position);
  int64_t Position() const { return FBufferStart + static_cast<int64_t>(FBufPos); }
  bool OldFormat() const { return FOldFormat; }
  void SetOldFormat(bool v) { FOldFormat = v; }
  // The 8-bit code page the header names ("windows-1251", "cp1251"); 1252 when it names none.
  uint32_t HeaderCodePage() const { return FHeaderCodePage; }
  // Stream position of the '<' of the last tag read.
  int64_t TagPosition() const { return FTagPosition; }
  // Line of the '<' of the last tag read (1-based); 0 when the reader did not start at the
  // beginning of the document.
  int TagLine() const { return FLinesKnown ? FTagLine : 0; }
  // The stream ended while elements were still open (a truncated document).
  bool EndedInsideElement() const { return FEndedInsideElement; }

 private:
  static constexpr size_t BufferSize = 4096;
  bool Fill();
  int NextByte() {
    if (FBufPos == FBufEnd && !Fill()) return -1;
    return static_cast<unsigned char>(FBuffer[FBufPos++]);
  }
  [[noreturn]] static void Fail();

  TStream& FStream;
  char FBuffer[BufferSize];
  size_t FBufPos = 0;
  size_t FBufEnd = 0;
  int64_t FBufferStart = 0;  // stream position of FBuffer[0]
  int64_t FTagPosition = 0;
  // Lines are counted only from the start of the stream.
  bool FLinesKnown = true;
  int FLine = 1;
  int FTagLine = 0;
  bool FEndedInsideElement = false;
  uint32_t FHeaderCodePage = 1252;
  bool FOldFormat = false;
  std::string FTag;  // bytes of the tag being read, reused
};

// Writes elements as text, gathering output in a buffer flushed past 4096 bytes.
class TpgwXMLWriter {
 public:
  TpgwXMLWriter(TStream& stream, TpgwXMLDocument* document);
  ~TpgwXMLWriter();
  bool AutoIndent() const { return FAutoIndent; }
  void SetAutoIndent(bool v) { FAutoIndent = v; }
  void WriteHeader();
  void WriteItem(TpgwXMLItem* item, int level = 0);
  void Flush();

 private:
  void WriteLine(int level, std::string_view text1, std::string_view text2 = {});
  void Put(std::string_view s);

  bool FAutoIndent = false;
  std::string FBuffer;
  TStream& FStream;
  TpgwXMLDocument* FDocument;  // backing stream of unloaded items, may be null
};

class TpgwXMLDocument {
 public:
  TpgwXMLDocument();
  ~TpgwXMLDocument();
  TpgwXMLDocument(const TpgwXMLDocument&) = delete;
  TpgwXMLDocument& operator=(const TpgwXMLDocument&) = delete;

  bool AutoIndent() const { return FAutoIndent; }
  void SetAutoIndent(bool v) { FAutoIndent = v; }
  // Folder of the backing file; the system's temporary folder when empty or missing.
  const std::string& TempDir() const { return FTempDir; }
  void SetTempDir(std::string v) { FTempDir = std::move(v); }
  const std::string& TempFile() const { return FTempFile; }
  bool TempFileCreated() const { return FTempFileCreated; }
  TpgwXMLItem* Root() const { return FRoot.get(); }
  // Backing stream of unloaded items; null when there is none.
  TStream* TempStream() const { return FTempStream; }
  // The document was read in the old encoding (8-bit attribute text).
  bool OldVersion() const { return FOldVersion; }
  // The last load reached the end of the stream with elements still open; what was read
  // is kept.
  bool Truncated() const { return FTruncated; }
  // The code page of 8-bit text in a document of the old format (see HeaderCodePage).
  uint32_t OldCodePage() const { return FOldCodePage; }

  // With partial loading the stream becomes the backing stream and must outlive the
  // document (or the next Clear or load).
  void LoadFromStream(TStream& stream, bool allowPartialLoading = false);
  void SaveToStream(TStream& stream);
  // Loads with partial loading; the file stays open as the backing stream.
  void LoadFromFile(const std::string& fileName);
  // Writes name + ".tmp", replaces the file with it and loads it again.
  void SaveToFile(const std::string& fileName);
  // Whole-document helpers over bytes in memory (no partial loading).
  void LoadFromString(std::string_view bytes);
  std::string SaveToString();

  void Clear();
  // Reads the children of an unloaded, unloadable item back from the backing stream.
  void LoadItem(TpgwXMLItem* item);
  // Appends a loaded, unloadable item to the backing file and drops its children.
  void UnloadItem(TpgwXMLItem* item);

 private:
  void ReleaseStreams();
  void CreateTempFile();
  void LoadDocument(TStream& stream, bool allowPartialLoading);

  bool FAutoIndent = false;
  std::string FTempDir;
  std::string FTempFile;
  bool FTempFileCreated = false;
  std::unique_ptr<TpgwXMLItem> FRoot;
  TStream* FTempStream = nullptr;
  bool FOldVersion = false;
  bool FTruncated = false;
  uint32_t FOldCodePage = 1252;
  // The file opened by LoadFromFile, kept open as the backing stream.
  std::unique_ptr<TStream> FSourceFile;
  // The backing file made by UnloadItem.
  std::unique_ptr<TStream> FTempFileStream;
  // Offsets below this limit lie in bytes of the loaded document (old format when it was);
  // items written back by UnloadItem lie above it and are always in the current format.
  int64_t FSourceLimit = INT64_MAX;
};

// Attribute value as written: control, markup and quotation characters as "&#n;".
WideString EncodeXmlText(std::u16string_view s);
// Attribute text of a value: integers (16-bit, 32-bit, byte) in decimal, single, double and
// currency by FloatToStr, dates by DateToStr, strings encoded, Booleans "1"/"0"; other kinds
// (empty, null, 64-bit integers, arrays ...) give the empty text.
WideString ValueToXmlText(const Variant& v);
// Decodes "&#n;", "&quot;", "&amp;", "&lt;" and "&gt;"; other ampersands stay. Raises
// EConvertError when the digits of a character reference do not form a number.
WideString DecodeXmlEntities(std::u16string_view s);

}  // namespace pagewright
