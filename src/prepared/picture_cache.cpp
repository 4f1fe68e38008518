#include "prepared/picture_cache.h"

#include <algorithm>
#include <cstring>

#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/format.h"
#include "platform/property_stream.h"
#include "platform/unicode.h"
#include "render/graphic_formats.h"
#include "storage/xml_document.h"

namespace pagewright {

const TEnumInfo& TpgwThumbnailBuildTypeInfo() {
  static const TEnumInfo info("TpgwThumbnailBuildType",
                              {"tbtNone", "tbtOriginal", "tbtAtPrepare", "tbtAtSave", "tbtAtPreview"});
  return info;
}

// ---- options ------------------------------------------------------------------------------------

const TClassInfo& TpgwPictureConverterOptions::StaticClassInfo() {
  using T = TpgwPictureConverterOptions;
  static const TClassInfo& info = Describe<T>("TpgwPictureConverterOptions")
                                      .Parent<TPersistent>()
                                      .Integer("ReducePercent", &T::ReducePercent, &T::SetReducePercent)
                                      .Default(0)
                                      .Integer("MinWidth", &T::MinWidth, &T::SetMinWidth)
                                      .Default(0)
                                      .Integer("MinHeight", &T::MinHeight, &T::SetMinHeight)
                                      .Default(0)
                                      .Integer("MaxWidth", &T::MaxWidth, &T::SetMaxWidth)
                                      .Default(INT32_MAX)
                                      .Integer("MaxHeight", &T::MaxHeight, &T::SetMaxHeight)
                                      .Default(INT32_MAX)
                                      .Build();
  return info;
}

const TClassInfo& TpgwPictureConverterOptions::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwPictureConverterOptions::Assign(const TPersistent& source) {
  if (auto* s = dynamic_cast<const TpgwPictureConverterOptions*>(&source)) {
    FReducePercent = s->FReducePercent;
    FMinWidth = s->FMinWidth;
    FMinHeight = s->FMinHeight;
    FMaxWidth = s->FMaxWidth;
    FMaxHeight = s->FMaxHeight;
    return;
  }
  TPersistent::Assign(source);
}

int TpgwPictureConverterOptions::PercentFor(int width, int height) const {
  const int minWidth = std::max(FMinWidth, 32);
  const int minHeight = std::max(FMinHeight, 32);
  const int p = (width < minWidth || width > FMaxWidth) ? 0 : FReducePercent;
  return (height < minHeight || height > FMaxHeight) ? p : FReducePercent;
}

const TClassInfo& TpgwPictureCacheOptions::StaticClassInfo() {
  using T = TpgwPictureCacheOptions;
  static const TClassInfo& info =
      Describe<T>("TpgwPictureCacheOptions")
          .Parent<TPersistent>()
          .Enum("CachedImagesBuildType", &T::CachedImagesBuildType, &T::SetCachedImagesBuildType,
                TpgwThumbnailBuildTypeInfo())
          .Default(tbtNone)
          .Object("ThumbnailQualityReducer",
                  static_cast<TpgwPictureConverterOptions& (T::*)()>(&T::ThumbnailQualityReducer),
                  &T::SetThumbnailQualityReducer)
          .Object("OriginalQualityReducer",
                  static_cast<TpgwPictureConverterOptions& (T::*)()>(&T::OriginalQualityReducer),
                  &T::SetOriginalQualityReducer)
          .Build();
  return info;
}

const TClassInfo& TpgwPictureCacheOptions::ClassInfo() const {
  return StaticClassInfo();
}

void TpgwPictureCacheOptions::Assign(const TPersistent& source) {
  if (auto* s = dynamic_cast<const TpgwPictureCacheOptions*>(&source)) {
    FCachedImagesBuildType = s->FCachedImagesBuildType;
    FThumbnailQualityReducer.Assign(s->FThumbnailQualityReducer);
    FOriginalQualityReducer.Assign(s->FOriginalQualityReducer);
    return;
  }
  TPersistent::Assign(source);
}

// ---- one internal cache -----------------------------------------------------------------------------

namespace {

uint64_t ContentHash(const std::string& bytes) {
  uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h ^ bytes.size();
}

// A picture is kept as a file of its own format, the bytes it was read from when it has them,
// so that any reader of a saved report can decode it.
std::string EncodeFile(const TPicture& picture) {
  TMemoryStream out;
  picture.WriteFile(out);
  const auto bytes = out.Bytes();
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::string EncodeGraphic(const TGraphic& graphic) {
  TPicture picture;
  picture.SetGraphic(graphic.Clone());
  return EncodeFile(picture);
}

}  // namespace

TpgwInternalPictureCache::~TpgwInternalPictureCache() {
  Clear();
}

const TpgwCacheEntry* TpgwInternalPictureCache::Entry(int index) const {
  if (index < 1 || index > Count()) return nullptr;
  return &FItems[static_cast<size_t>(index - 1)];
}

void TpgwInternalPictureCache::SetEntrySize(int index, int width, int height) {
  if (index < 1 || index > Count()) return;
  FItems[static_cast<size_t>(index - 1)].Width = width;
  FItems[static_cast<size_t>(index - 1)].Height = height;
}

void TpgwInternalPictureCache::SetTempDir(const std::string& v) {
  if (FSegments.empty()) FTempDir = v;
}

void TpgwInternalPictureCache::SetUseFileCache(bool v) {
  if (FSegments.empty()) FUseFileCache = v;
}

TStream& TpgwInternalPictureCache::SegmentForAppend() {
  if (FSegments.empty() || FSegments.back()->Size() > MaxSegmentSize) {
    if (FUseFileCache) {
      const std::string name = CreateTempFile(FTempDir, "pwPic");
      FTempFiles.push_back(name);
      FSegments.push_back(std::make_unique<TFileStream>(name, fmOpenReadWrite));
    } else {
      FSegments.push_back(std::make_unique<TMemoryStream>());
    }
  }
  return *FSegments.back();
}

int TpgwInternalPictureCache::AddGraphic(const TGraphic& graphic) {
  if (graphic.Width() == 0 && graphic.Height() == 0) return 0;
  std::string bytes;
  try {
    bytes = EncodeGraphic(graphic);
  } catch (const Exception&) {
    return 0;
  }
  return AddBytes(bytes, graphic.Width(), graphic.Height());
}

int TpgwInternalPictureCache::AddBytes(const std::string& bytes, int width, int height) {
  if (bytes.empty() || (width == 0 && height == 0)) return 0;
  const uint64_t hash = ContentHash(bytes);
  auto range = FHashes.equal_range(hash);
  for (auto it = range.first; it != range.second; ++it) {
    std::string stored;
    const TpgwCacheEntry* e = Entry(it->second);
    if (e && e->Width == width && e->Height == height && ReadBytes(it->second, stored) && stored == bytes)
      return it->second;
  }
  const int index = AppendEntry(bytes, width, height);
  FHashes.emplace(hash, index);
  return index;
}

int TpgwInternalPictureCache::AppendEntry(const std::string& bytes, int width, int height) {
  TStream& segment = SegmentForAppend();
  TpgwCacheEntry entry;
  entry.Segment = static_cast<int32_t>(FSegments.size() - 1);
  entry.Offset = segment.Size();
  entry.State = 1;
  FItems.push_back(entry);
  segment.Seek(0, soEnd);
  if (!bytes.empty()) segment.WriteBuffer(bytes);
  TpgwCacheEntry& stored = FItems.back();
  stored.Width = width;
  stored.Height = height;
  stored.State = bytes.empty() ? 1 : 0;
  return Count();
}

bool TpgwInternalPictureCache::ReadBytes(int index, std::string& bytes) {
  std::lock_guard<std::mutex> lock(FCrit);
  if (index < 1 || index > Count() || FSegments.empty()) return false;
  const TpgwCacheEntry& e = FItems[static_cast<size_t>(index - 1)];
  if (e.State == 1 || e.Segment < 0 || e.Segment >= SegmentCount()) return false;
  TStream& segment = *FSegments[static_cast<size_t>(e.Segment)];
  int64_t end = segment.Size();
  if (index < Count() && FItems[static_cast<size_t>(index)].Segment == e.Segment)
    end = FItems[static_cast<size_t>(index)].Offset;
  if (e.Offset < 0 || end < e.Offset || end > segment.Size()) return false;
  bytes.resize(static_cast<size_t>(end - e.Offset));
  segment.Seek(e.Offset, soBeginning);
  if (!bytes.empty()) segment.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  return true;
}

bool TpgwInternalPictureCache::GetPicture(TPicture& picture, int index) {
  std::string bytes;
  if (!ReadBytes(index, bytes)) return false;
  // The decoder sees exactly the picture's bytes, never the rest of the segment.
  TMemoryStream stream;
  stream.WriteBuffer(bytes);
  try {
    // A picture file: the format is told by its content.
    stream.SetPosition(0);
    if (TpgwGraphicFormats::LoadFromStream(picture, stream) && !picture.Empty()) return true;
    // Reports saved by earlier versions kept picture records (class name and data).
    picture.Clear();
    stream.SetPosition(0);
    return picture.ReadRecord(stream) && !picture.Empty();
  } catch (const Exception&) {
    picture.Clear();
    return false;
  }
}

std::unique_ptr<TGraphic> TpgwInternalPictureCache::GetGraphic(int index) {
  TPicture picture;
  if (!GetPicture(picture, index)) return nullptr;
  return picture.ReleaseGraphic();
}

void TpgwInternalPictureCache::Clear() {
  std::lock_guard<std::mutex> lock(FCrit);
  FItems.clear();
  FSegments.clear();
  FHashes.clear();
  for (const std::string& name : FTempFiles) DeleteFile(name);
  FTempFiles.clear();
}

// ---- the cache ---------------------------------------------------------------------------------------

TpgwPictureCache::TpgwPictureCache() = default;

TpgwPictureCache::~TpgwPictureCache() = default;

int TpgwPictureCache::AddToCache(TpgwInternalPictureCache& cache, const TpgwPictureConverterOptions& reducer,
                                 const TGraphic& graphic, const std::string* encoded) {
  const int width = graphic.Width();
  const int height = graphic.Height();
  const int factor = 100 - reducer.PercentFor(width, height);
  int targetWidth = width * factor / 100;
  int targetHeight = height * factor / 100;
  if (targetWidth == 0) targetWidth = width;
  if (targetHeight == 0) targetHeight = height;
  if ((targetWidth != width || targetHeight != height) && CachedImagesInUse()) {
    std::unique_ptr<TGraphic> scaled;
    try {
      scaled = TpgwGraphicFormats::ScaleGraphicToNew(graphic, targetWidth, targetHeight);
    } catch (const Exception&) {
    }
    if (scaled) {
      const int index = cache.AddGraphic(*scaled);
      // The entry keeps the size of the picture it stands for.
      cache.SetEntrySize(index, width, height);
      return index;
    }
  }
  if (encoded && !encoded->empty()) return cache.AddBytes(*encoded, width, height);
  return cache.AddGraphic(graphic);
}

int TpgwPictureCache::AddPicture(const TPicture& picture) {
  if (picture.Empty()) return 0;
  const std::string encoded = EncodeFile(picture);
  const TGraphic& graphic = *picture.Graphic();
  const int count = FPictureCache.Count();
  int index = AddToCache(FPictureCache, FPictureCacheOptions.OriginalQualityReducer(), graphic, &encoded);
  // Both caches grow in step; a picture stored before has its thumbnail already.
  if (index > count && FPictureCacheOptions.CachedImagesBuildType() == tbtAtPrepare)
    index = AddToCache(FThumbnailCache, FPictureCacheOptions.ThumbnailQualityReducer(), graphic, nullptr);
  return index;
}

int TpgwPictureCache::AddPicture(const TGraphic* graphic) {
  if (!graphic || graphic->Empty()) return 0;
  const int count = FPictureCache.Count();
  int index = AddToCache(FPictureCache, FPictureCacheOptions.OriginalQualityReducer(), *graphic, nullptr);
  if (index > count && FPictureCacheOptions.CachedImagesBuildType() == tbtAtPrepare)
    index = AddToCache(FThumbnailCache, FPictureCacheOptions.ThumbnailQualityReducer(), *graphic, nullptr);
  return index;
}

std::unique_ptr<TGraphic> TpgwPictureCache::GetGraphic(int imageIndex) {
  return FPictureCache.GetGraphic(imageIndex);
}

bool TpgwPictureCache::GetPicture(TPicture& picture, int imageIndex) {
  return FPictureCache.GetPicture(picture, imageIndex);
}

std::shared_ptr<TpgwAutoRefGraphic> TpgwPictureCache::GetCachedBitmap(TpgwCachedGraphicType cacheType,
                                                                      int imageIndex) {
  if (imageIndex < 1) return nullptr;
  auto found = FCachedBitmap.find(imageIndex);
  if (found != FCachedBitmap.end()) {
    if (std::shared_ptr<TpgwAutoRefGraphic> shared = found->second.lock()) {
      if (shared->CacheType == cacheType) return shared;
      // Holders of the other kind keep theirs; the index now shares the requested kind.
      TpgwInternalPictureCache& other = cacheType == cgThumbnail ? FThumbnailCache : FPictureCache;
      if (cacheType != cgThumbnail || !FIsUpdating) {
        if (std::unique_ptr<TGraphic> graphic = other.GetGraphic(imageIndex)) {
          auto replaced = std::make_shared<TpgwAutoRefGraphic>();
          replaced->OriginalWidth = shared->OriginalWidth;
          replaced->OriginalHeight = shared->OriginalHeight;
          replaced->Index = imageIndex;
          replaced->Graphic = std::move(graphic);
          replaced->CacheType = cacheType;
          found->second = replaced;
          return replaced;
        }
      }
      return shared;
    }
    FCachedBitmap.erase(found);
  }
  std::unique_ptr<TGraphic> graphic;
  if (cacheType == cgThumbnail) {
    if (!FIsUpdating) graphic = FThumbnailCache.GetGraphic(imageIndex);
  } else {
    graphic = FPictureCache.GetGraphic(imageIndex);
  }
  if (!graphic && cacheType != cgOriginal) graphic = FPictureCache.GetGraphic(imageIndex);
  if (!graphic) return nullptr;
  auto shared = std::make_shared<TpgwAutoRefGraphic>();
  shared->Graphic = std::move(graphic);
  shared->Index = imageIndex;
  shared->CacheType = cacheType == cgNone ? cgOriginal : cacheType;
  GetPictureSize(cgOriginal, imageIndex, shared->OriginalWidth, shared->OriginalHeight);
  FCachedBitmap[imageIndex] = shared;
  return shared;
}

void TpgwPictureCache::GetPictureSize(TpgwCachedGraphicType cacheType, int imageIndex, int& width,
                                      int& height) {
  const TpgwCacheEntry* e = (cacheType == cgThumbnail ? FThumbnailCache : FPictureCache).Entry(imageIndex);
  if (!e && cacheType == cgThumbnail) e = FPictureCache.Entry(imageIndex);
  width = e ? e->Width : 0;
  height = e ? e->Height : 0;
}

int TpgwPictureCache::SharedCount() {
  int n = 0;
  for (auto it = FCachedBitmap.begin(); it != FCachedBitmap.end();) {
    if (it->second.expired()) {
      it = FCachedBitmap.erase(it);
    } else {
      ++n;
      ++it;
    }
  }
  return n;
}

void TpgwPictureCache::Clear() {
  // Holders keep their decoded pictures; the cache only forgets them.
  FCachedBitmap.clear();
  FPictureCache.Clear();
  FThumbnailCache.Clear();
  FIsUpdating = false;
  if (OnThumbnailUpdated) OnThumbnailUpdated(*this, 1);
}

void TpgwPictureCache::BuildFinished() {
  if (FPictureCacheOptions.CachedImagesBuildType() == tbtAtPreview) FIsUpdating = true;
}

void TpgwPictureCache::BuildMissingThumbnails() {
  for (int i = FThumbnailCache.Count() + 1; i <= FPictureCache.Count(); ++i) {
    std::unique_ptr<TGraphic> graphic = FPictureCache.GetGraphic(i);
    if (!graphic) break;
    const int index =
        AddToCache(FThumbnailCache, FPictureCacheOptions.ThumbnailQualityReducer(), *graphic, nullptr);
    if (index != i) break;  // a picture the thumbnail cache refused: the two would go out of step
  }
}

namespace {

void WriteSection(TpgwInternalPictureCache& cache, TpgwXMLItem& root, std::u16string_view name) {
  TpgwXMLItem* section = root.FindItem(name);
  section->Clear();
  for (int i = 1; i <= cache.Count(); ++i) {
    std::string bytes;
    cache.ReadBytes(i, bytes);
    TpgwXMLItem* item = section->Add(u"item");
    item->SetText(u"stream=\"" + Utf8ToUtf16(BytesToHex(bytes)) + u"\"");
    const TpgwCacheEntry* e = cache.Entry(i);
    TpgwXMLItem* size = item->Add(u"size");
    size->SetText(u"w=\"" + IntToStr(e->Width) + u"\" h=\"" + IntToStr(e->Height) + u"\"");
  }
}

// False when the section is absent.
bool ReadSection(TpgwInternalPictureCache& cache, TpgwXMLItem& root, std::u16string_view name) {
  const int at = root.Find(name);
  if (at < 0) return false;
  TpgwXMLItem* section = root.Items(at);
  cache.Clear();
  for (int i = 0; i < section->Count(); ++i) {
    TpgwXMLItem* item = section->Items(i);
    std::string bytes;
    try {
      bytes = HexToBytes(item->GetProp(u"stream"));
    } catch (const Exception&) {
      bytes.clear();
    }
    int32_t width = 0, height = 0;
    if (item->Count() > 0) {
      TryStrToInt(item->Items(0)->GetProp(u"w"), width);
      TryStrToInt(item->Items(0)->GetProp(u"h"), height);
    }
    // Indices stay as they were saved: a broken entry still takes its place, unavailable.
    cache.AppendEntry(bytes, width, height);
  }
  return true;
}

}  // namespace

void TpgwPictureCache::SaveToXML(TpgwXMLItem& root) {
  WriteSection(FPictureCache, root, u"picturecache");
  const TpgwThumbnailBuildType type = FPictureCacheOptions.CachedImagesBuildType();
  if (type == tbtAtSave) BuildMissingThumbnails();
  if ((type == tbtAtPrepare || type == tbtAtSave) && FThumbnailCache.Count() > 0)
    WriteSection(FThumbnailCache, root, u"thumbnailcache");
}

void TpgwPictureCache::LoadFromXML(TpgwXMLItem& root) {
  FCachedBitmap.clear();
  ReadSection(FPictureCache, root, u"picturecache");
  if (ReadSection(FThumbnailCache, root, u"thumbnailcache") &&
      FPictureCacheOptions.CachedImagesBuildType() == tbtNone)
    FPictureCacheOptions.SetCachedImagesBuildType(tbtOriginal);
}

}  // namespace pagewright
