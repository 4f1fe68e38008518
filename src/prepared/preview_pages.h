// The prepared-page store: the result of preparing a report, kept as an XML document whose
// pages hold every printed object as the difference from a copy of its template object (its
// source object, known by a short alias). Pages are rebuilt into object trees on demand through
// a small cache; the store saves and loads itself, keeps logical page numbers, the outline,
// anchors, deferred values and pictures, and drives export filters over its pages.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/exceptions.h"
#include "platform/streams.h"
#include "platform/types.h"
#include "prepared/picture_cache.h"
#include "prepared/post_processor.h"
#include "report/component.h"
#include "report/services.h"

namespace pagewright {

class IpgwExportTarget;
class TpgwPreviewPages;
class TpgwReport;
class TpgwReportPage;
class TpgwXMLDocument;
class TpgwXMLItem;

// Raised inside the export walk when the report or the filter asks to stop.
PW_DECLARE_EXCEPTION(EExportTerminated, Exception)

enum TpgwAddPageAction : uint8_t { apWriteOver, apAdd };

// What the store asks of the band engine that fills it.
class IpgwPreviewEngine {
 public:
  virtual ~IpgwPreviewEngine() = default;
  virtual bool Running() const = 0;
  // The pass being run is the last one (always, without a double pass).
  virtual bool FinalPass() const = 0;
  virtual bool DoublePass() const = 0;
  virtual Extended CurY() const = 0;
  virtual int TotalPages() const = 0;
};

// Compression of saved prepared reports, given to a store by its host; without it documents are
// stored as they are.
struct TpgwPreparedCompressor {
  std::function<void(TStream& source, TStream& dest)> Compress;
  // Raises on data it cannot decompress.
  std::function<void(TStream& source, TStream& dest)> Decompress;
};

// Aliases of source objects: alias -> "Page" + source page index + "." + object name, with the
// source copy and its serialized form (the base every prepared instance is read from).
class TpgwDictionary {
 public:
  struct TSource {
    WideString Name;
    TpgwComponent* Object = nullptr;
    WideString Form;
  };
  // A free alias: base + the lowest number not taken.
  WideString CreateUniqueName(const WideString& base);
  void Add(const WideString& alias, const WideString& sourceName, TpgwComponent* object,
           const WideString& form);
  // Null for an unknown alias.
  const TSource* Find(std::u16string_view alias) const;
  TpgwComponent* GetObject(std::u16string_view alias) const;
  int Count() const { return static_cast<int>(FNames.size()); }
  void Clear();
  // In alias order.
  const std::map<WideString, TSource>& Names() const { return FNames; }

 private:
  std::map<WideString, TSource> FNames;  // key: alias in upper case
  std::map<WideString, int> FNext;       // next number to try per base
};

class TpgwOutline {
 public:
  explicit TpgwOutline(TpgwPreviewPages& pages) : FPreviewPages(pages) {}
  TpgwPreviewPages& PreviewPages() const { return FPreviewPages; }
  // Appends an item under the current one and makes it current.
  void AddItem(const WideString& text, int top);
  // Makes the child at index of the current item current.
  void LevelDown(int index);
  void LevelRoot();
  void LevelUp();
  void GetItem(int index, WideString& text, int& page, int& top) const;
  int GetCount() const;
  // Frees the items after `from` (an element of the outline) under its parent.
  void DeleteItems(TpgwXMLItem* from);
  void ShiftItems(TpgwXMLItem* from, int newTop);
  // The last child of the current item, or null.
  TpgwXMLItem* GetCurPosition() const;
  TpgwXMLItem* CurItem() const { return FCurItem; }
  void SetCurItem(TpgwXMLItem* v) { FCurItem = v; }
  TpgwXMLItem& Root() const;

 private:
  TpgwPreviewPages& FPreviewPages;
  TpgwXMLItem* FCurItem = nullptr;
};

class TpgwCustomPreviewPages {
 public:
  explicit TpgwCustomPreviewPages(TpgwReport& report);
  virtual ~TpgwCustomPreviewPages();
  TpgwCustomPreviewPages(const TpgwCustomPreviewPages&) = delete;
  TpgwCustomPreviewPages& operator=(const TpgwCustomPreviewPages&) = delete;

  virtual int GetCount() const = 0;
  // The rebuilt page (owned by the store's page cache); null when there is none.
  virtual TpgwReportPage* GetPage(int index) = 0;
  // Width and height in pixels; (0, 0) for an index out of range.
  virtual void GetPageSize(int index, int& width, int& height) = 0;
  virtual TpgwPictureCacheOptions& PictureCacheOptions();
  virtual void Clear() = 0;
  virtual void Initialize() = 0;
  virtual void AddObject(TpgwComponent& obj) = 0;
  virtual void AddPage(TpgwReportPage& page) = 0;
  virtual void AddSourcePage(TpgwReportPage& page) = 0;
  virtual void AddToSourcePage(TpgwComponent& obj) = 0;
  virtual void BeginPass() = 0;
  virtual void ClearFirstPassPages() = 0;
  virtual void CutObjects(int position) = 0;
  virtual void DeleteObjects(int position) = 0;
  virtual void DeleteAnchors(int from) = 0;
  virtual void Finish() = 0;
  virtual void IncLogicalPageNumber() = 0;
  virtual void ResetLogicalPageNumber() = 0;
  virtual void PasteObjects(Extended x, Extended y) = 0;
  virtual void ShiftAnchors(int from, int newTop) = 0;
  virtual std::shared_ptr<TpgwAutoRefGraphic> GetPicture(TpgwCachedGraphicType cacheType, int imageIndex) = 0;
  virtual void AddPicture(TpgwComponent& pictureObject) = 0;
  virtual int AddGraphic(const TGraphic* graphic) = 0;
  virtual bool BandExists(const TpgwComponent& band) = 0;
  virtual int GetCurPosition() = 0;
  virtual int GetAnchorCurPosition() = 0;
  virtual Extended GetLastY(Extended columnPosition = 0) = 0;
  virtual int GetLogicalPageNo() = 0;
  virtual int GetLogicalTotalPages() = 0;
  virtual void AddEmptyPage(int index) = 0;
  virtual void DeletePage(int index) = 0;
  virtual bool LoadFromStream(TStream& stream, bool allowPartialLoading = false) = 0;
  virtual void SaveToStream(TStream& stream) = 0;
  virtual bool SaveToFilter(IpgwExportTarget* target, const WideString& fileName) = 0;
  virtual bool LoadFromFile(const WideString& fileName, bool exceptionIfNotFound = false) = 0;
  virtual void SaveToFile(const WideString& fileName) = 0;
  virtual bool Export(TComponent* filter) = 0;

  TpgwAddPageAction AddPageAction() const { return FAddPageAction; }
  void SetAddPageAction(TpgwAddPageAction v) { FAddPageAction = v; }
  int CurPage() const { return FCurPage; }
  void SetCurPage(int v) { FCurPage = v; }
  int CurPreviewPage() const { return FCurPreviewPage; }
  void SetCurPreviewPage(int v) { FCurPreviewPage = v; }
  int FirstPage() const { return FFirstPage; }
  void SetFirstPage(int v) { FFirstPage = v; }
  TpgwOutline& Outline() { return *FOutline; }
  TpgwReport& Report() const { return FReport; }
  IpgwPreviewEngine* Engine() const { return FEngine; }
  void SetEngine(IpgwPreviewEngine* v) { FEngine = v; }
  int CopyNo() const { return FCopyNo; }
  void SetCopyNo(int v) { FCopyNo = v; }
  Extended PrintScale() const { return FPrintScale; }
  void SetPrintScale(Extended v) { FPrintScale = v; }
  TpgwPostProcessor& PostProcessor() { return *FPostProcessor; }

 protected:
  TpgwAddPageAction FAddPageAction = apWriteOver;
  int FCurPage = -1;
  int FCurPreviewPage = 0;
  int FFirstPage = 0;
  std::unique_ptr<TpgwOutline> FOutline;
  TpgwReport& FReport;
  IpgwPreviewEngine* FEngine = nullptr;
  std::unique_ptr<TpgwPictureCacheOptions> FPictureCacheOptions;
  int FCopyNo = 0;
  Extended FPrintScale = 1;
  std::unique_ptr<TpgwPostProcessor> FPostProcessor;
};

class TpgwPreviewPages : public TpgwCustomPreviewPages {
 public:
  explicit TpgwPreviewPages(TpgwReport& report);
  ~TpgwPreviewPages() override;

  int GetCount() const override;
  TpgwReportPage* GetPage(int index) override;
  void GetPageSize(int index, int& width, int& height) override;
  TpgwPictureCacheOptions& PictureCacheOptions() override;
  void Clear() override;
  void Initialize() override;
  void AddObject(TpgwComponent& obj) override;
  void AddPage(TpgwReportPage& page) override;
  void AddSourcePage(TpgwReportPage& page) override;
  void AddToSourcePage(TpgwComponent& obj) override;
  void BeginPass() override;
  void ClearFirstPassPages() override;
  void CutObjects(int position) override;
  void DeleteObjects(int position) override;
  void DeleteAnchors(int from) override;
  void Finish() override;
  void IncLogicalPageNumber() override;
  void ResetLogicalPageNumber() override;
  void PasteObjects(Extended x, Extended y) override;
  void ShiftAnchors(int from, int newTop) override;
  std::shared_ptr<TpgwAutoRefGraphic> GetPicture(TpgwCachedGraphicType cacheType, int imageIndex) override;
  void AddPicture(TpgwComponent& pictureObject) override;
  int AddGraphic(const TGraphic* graphic) override;
  bool BandExists(const TpgwComponent& band) override;
  int GetCurPosition() override;
  int GetAnchorCurPosition() override;
  Extended GetLastY(Extended columnPosition = 0) override;
  int GetLogicalPageNo() override;
  int GetLogicalTotalPages() override;
  void AddEmptyPage(int index) override;
  void DeletePage(int index) override;
  bool LoadFromStream(TStream& stream, bool allowPartialLoading = false) override;
  // How saved documents are compressed; empty, they are stored as they are.
  TpgwPreparedCompressor& Compressor() { return FCompressor; }
  void SaveToStream(TStream& stream) override;
  bool SaveToFilter(IpgwExportTarget* target, const WideString& fileName) override;
  bool LoadFromFile(const WideString& fileName, bool exceptionIfNotFound = false) override;
  void SaveToFile(const WideString& fileName) override;
  bool Export(TComponent* filter) override;

  // A page built afresh from the document for a holder that keeps it (a script), outside the
  // cache; null for an index out of range.
  std::unique_ptr<TpgwReportPage> CopyPage(int index);
  // Writes the objects of `page` (a changed copy of page `index`) over that page's objects.
  void ReplacePageObjects(int index, TpgwComponent& page);

  // --- used by the band engine ----------------------------------------------------------------------
  void UpdatePageDimensions(TpgwReportPage& page, Extended width, Extended height);
  void UpdatePageDimension(int index, int orientation, Extended width, Extended height);
  void UpdatePageLastColumn(int column, bool reset, Extended columnPosition);
  void GetLastColumnPos(int& column, Extended& columnPosition);
  void AddAnchor(const WideString& text);
  int GetAnchorPage(const WideString& text);
  // The page being exported stays in the cache.
  void LockPage(TpgwReportPage* page) { FLockedPage = page; }
  void UnlockPage() { FLockedPage = nullptr; }

  // --- state ----------------------------------------------------------------------------------------
  bool AllowPartialLoading() const { return FAllowPartialLoading; }
  TpgwDictionary& Dictionary() { return FDictionary; }
  int FirstObjectIndex() const { return FFirstObjectIndex; }
  int FirstPageIndex() const { return FFirstPageIndex; }
  int FirstOutlineIndex() const { return FFirstOutlineIndex; }
  int LogicalPageN() const { return FLogicalPageN; }
  TpgwPictureCache& PictureCache() { return *FPictureCache; }
  int SourcePageCount() const { return static_cast<int>(FSourcePages.size()); }
  TpgwReportPage* SourcePages(int index) const { return FSourcePages.at(static_cast<size_t>(index)).get(); }
  TpgwXMLDocument& XMLDoc() { return *FXMLDoc; }
  // The section of the document's root with that name (created when missing).
  TpgwXMLItem& Section(std::u16string_view name);
  int64_t XMLSize() const { return FXMLSize; }
  Extended LastY() const { return FLastY; }
  TpgwCachedGraphicType CachedGraphicState() const { return FCachedGraphicState; }
  void SetCachedGraphicState(TpgwCachedGraphicType v) { FCachedGraphicState = v; }
  // Number of rebuilt pages held by the cache.
  int PageCacheCount() const { return static_cast<int>(FPageCache.size()); }
  // Empties the page cache (a locked page stays).
  void ClearPageCache();

 private:
  struct CachedPage {
    int Index;
    std::unique_ptr<TpgwReportPage> Page;
  };
  TpgwXMLItem* PagesItem();
  TpgwXMLItem* CurPageItem();
  int SourcePageIndex(const TpgwComponent* page) const;
  void CopySourceTree(TpgwComponent& from, TpgwComponent& to);
  void RegisterSource(int pageIndex, TpgwComponent& tmpl, TpgwComponent& copy);
  void AddObjectTo(TpgwComponent& obj, TpgwXMLItem& parentItem, bool pageClassElement);
  WideString DiffText(TpgwComponent& obj, TpgwComponent& source, bool finalPass);
  void RebuildObjects(TpgwXMLItem& item, TpgwComponent& container, class TpgwXMLSerializer& serializer);
  void InsertInCache(int index, std::unique_ptr<TpgwReportPage> page);
  // The page of the document at index as a new object (null when out of range).
  std::unique_ptr<TpgwReportPage> BuildPage(int index);
  // Texts of a rebuilt page that show the page count ("[TotalPages#]") get it.
  void FillPageCount(TpgwReportPage& page);
  // Reads a document into a store already cleared.
  bool LoadDocumentFrom(TStream& stream, bool allowPartialLoading);
  void ReadLoadedDocument();
  TpgwComponent* SourceOfElement(const TpgwXMLItem& item) const;
  void ExportPage(IpgwExportTarget& filter, int index);
  void ExportOne(IpgwExportTarget& filter, TpgwComponent& obj);
  void ReportError(const WideString& message);

  bool FAllowPartialLoading = false;
  TpgwDictionary FDictionary;
  int FFirstObjectIndex = 0;
  int FFirstPageIndex = 0;
  int FFirstOutlineIndex = 0;
  int FLogicalPageN = 0;
  std::vector<CachedPage> FPageCache;  // front = most recent
  std::unique_ptr<TpgwPictureCache> FPictureCache;
  std::vector<std::unique_ptr<TpgwReportPage>> FSourcePages;
  std::unique_ptr<TpgwXMLDocument> FXMLDoc;
  int64_t FXMLSize = 0;
  Extended FLastY = 0;
  TpgwReportPage* FLockedPage = nullptr;
  TpgwCachedGraphicType FCachedGraphicState = cgOriginal;
  bool FPassBeganEmpty = true;
  // The deferred instances there were when the pass began.
  std::map<WideString, int> FPassInstanceCounts;
  // Keeps the loaded file open as the backing stream of a partially loaded document.
  std::unique_ptr<TStream> FLoadStream;
  TpgwPreparedCompressor FCompressor;
};

// The report's store as the full class; null when the report has none.
TpgwPreviewPages* PreparedPagesOf(TpgwReport& report);

// The prepared-page store as reports reach it (report/services.h).
IpgwPreparedPagesService& ReportPreparedPagesService();

}  // namespace pagewright
