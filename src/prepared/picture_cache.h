// The picture cache of prepared pages: every stored picture is encoded once into a few large
// byte segments (in memory or in temporary files) and known by its 1-based image index; a
// second set of reduced copies (thumbnails) may grow in step. Viewers get shared decoded
// pictures per index, freed when the last holder lets go.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/component.h"
#include "platform/properties.h"
#include "platform/streams.h"
#include "platform/types.h"

namespace pagewright {

class TGraphic;
class TPicture;
class TpgwXMLItem;

enum TpgwThumbnailBuildType : uint8_t { tbtNone, tbtOriginal, tbtAtPrepare, tbtAtSave, tbtAtPreview };
enum TpgwCachedGraphicType : uint8_t { cgNone, cgOriginal, cgThumbnail };
const TEnumInfo& TpgwThumbnailBuildTypeInfo();

// How far pictures of a size range are reduced before they are stored.
class TpgwPictureConverterOptions : public TPersistent {
 public:
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  void Assign(const TPersistent& source) override;

  int ReducePercent() const { return FReducePercent; }
  void SetReducePercent(int v) { FReducePercent = static_cast<uint8_t>(v < 0 ? 0 : v > 100 ? 100 : v); }
  int MinWidth() const { return FMinWidth; }
  void SetMinWidth(int v) { FMinWidth = v; }
  int MinHeight() const { return FMinHeight; }
  void SetMinHeight(int v) { FMinHeight = v; }
  int MaxWidth() const { return FMaxWidth; }
  void SetMaxWidth(int v) { FMaxWidth = v; }
  int MaxHeight() const { return FMaxHeight; }
  void SetMaxHeight(int v) { FMaxHeight = v; }
  // The percent a picture of that size is reduced by (sides below 32 pixels never are).
  int PercentFor(int width, int height) const;

 private:
  uint8_t FReducePercent = 0;
  int FMinWidth = 0;
  int FMinHeight = 0;
  int FMaxWidth = INT32_MAX;
  int FMaxHeight = INT32_MAX;
};

class TpgwPictureCacheOptions : public TPersistent {
 public:
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
  void Assign(const TPersistent& source) override;

  TpgwThumbnailBuildType CachedImagesBuildType() const { return FCachedImagesBuildType; }
  void SetCachedImagesBuildType(TpgwThumbnailBuildType v) { FCachedImagesBuildType = v; }
  TpgwPictureConverterOptions& ThumbnailQualityReducer() { return FThumbnailQualityReducer; }
  const TpgwPictureConverterOptions& ThumbnailQualityReducer() const { return FThumbnailQualityReducer; }
  void SetThumbnailQualityReducer(const TpgwPictureConverterOptions& v) {
    FThumbnailQualityReducer.Assign(v);
  }
  TpgwPictureConverterOptions& OriginalQualityReducer() { return FOriginalQualityReducer; }
  const TpgwPictureConverterOptions& OriginalQualityReducer() const { return FOriginalQualityReducer; }
  void SetOriginalQualityReducer(const TpgwPictureConverterOptions& v) { FOriginalQualityReducer.Assign(v); }

 private:
  TpgwThumbnailBuildType FCachedImagesBuildType = tbtNone;
  TpgwPictureConverterOptions FThumbnailQualityReducer;
  TpgwPictureConverterOptions FOriginalQualityReducer;
};

// One image index: where its bytes are and the size of the picture handed to the cache.
struct TpgwCacheEntry {
  int32_t Segment = 0;
  int64_t Offset = 0;
  int32_t State = 1;  // 1 while being written or unavailable, 0 when readable
  int32_t Width = 0;
  int32_t Height = 0;
};

// One set of encoded pictures (full size or thumbnails). Reads are serialised; adding happens on
// the preparing thread only.
class TpgwInternalPictureCache {
 public:
  // A segment is closed for growth above this size.
  static constexpr int64_t MaxSegmentSize = 1789569705;

  TpgwInternalPictureCache() = default;
  ~TpgwInternalPictureCache();
  TpgwInternalPictureCache(const TpgwInternalPictureCache&) = delete;
  TpgwInternalPictureCache& operator=(const TpgwInternalPictureCache&) = delete;

  int Count() const { return static_cast<int>(FItems.size()); }
  // Entry of image index `index` (1-based); null when out of range.
  const TpgwCacheEntry* Entry(int index) const;
  void SetEntrySize(int index, int width, int height);
  int SegmentCount() const { return static_cast<int>(FSegments.size()); }
  const std::vector<std::string>& TempFiles() const { return FTempFiles; }

  // Encodes the graphic (as its picture record: class name and the class's own data) and
  // appends it; 0 (nothing stored) for a picture without size or one that cannot be written.
  int AddGraphic(const TGraphic& graphic);
  // Appends already encoded bytes of a picture of that size; the same bytes stored before give
  // the earlier index.
  int AddBytes(const std::string& bytes, int width, int height);
  // Appends an entry as it comes (loading a saved cache keeps every index); an entry without
  // bytes is marked unavailable. Its index.
  int AppendEntry(const std::string& bytes, int width, int height);
  // The stored bytes of an index; false for an index out of range or an unavailable entry.
  bool ReadBytes(int index, std::string& bytes);
  // A new decoded picture; null when the index gives none or the bytes do not decode.
  std::unique_ptr<TGraphic> GetGraphic(int index);
  // Decodes into a picture container (format detection); false when it gives nothing.
  bool GetPicture(TPicture& picture, int index);
  // Frees every segment (deleting file segments).
  void Clear();

  const std::string& TempDir() const { return FTempDir; }
  // Changes only while nothing is stored.
  void SetTempDir(const std::string& v);
  bool UseFileCache() const { return FUseFileCache; }
  void SetUseFileCache(bool v);

 private:
  TStream& SegmentForAppend();

  std::vector<TpgwCacheEntry> FItems;
  std::vector<std::unique_ptr<TStream>> FSegments;
  std::vector<std::string> FTempFiles;
  std::string FTempDir;
  bool FUseFileCache = false;
  std::mutex FCrit;
  // Content hash of stored bytes -> image indices, so that one picture is stored once.
  std::unordered_multimap<uint64_t, int> FHashes;
};

// A decoded picture shared by everyone who shows an index; the cache forgets it when the last
// holder lets go.
class TpgwAutoRefGraphic {
 public:
  std::unique_ptr<TGraphic> Graphic;
  int OriginalWidth = 0;
  int OriginalHeight = 0;
  int Index = 0;
  TpgwCachedGraphicType CacheType = cgOriginal;
};

class TpgwPictureCache {
 public:
  TpgwPictureCache();
  ~TpgwPictureCache();
  TpgwPictureCache(const TpgwPictureCache&) = delete;
  TpgwPictureCache& operator=(const TpgwPictureCache&) = delete;

  TpgwInternalPictureCache& PictureCache() { return FPictureCache; }
  TpgwInternalPictureCache& ThumbnailCache() { return FThumbnailCache; }
  TpgwPictureCacheOptions& PictureCacheOptions() { return FPictureCacheOptions; }
  bool IsUpdating() const { return FIsUpdating; }
  // Fired with 1 when the cache is emptied.
  std::function<void(TpgwPictureCache& sender, int flag)> OnThumbnailUpdated;

  // The image index of the picture (0 for none or an empty one). A picture container that
  // keeps the bytes it was read from stores those bytes as they are.
  int AddPicture(const TPicture& picture);
  int AddPicture(const TGraphic* graphic);
  // A new decoded full-size picture (the caller owns it); null when the index gives none.
  std::unique_ptr<TGraphic> GetGraphic(int imageIndex);
  // Decodes the full-size picture into a container; false when there is none.
  bool GetPicture(TPicture& picture, int imageIndex);
  // The shared decoded picture of an index, from the cache of that type; the full-size one
  // when the thumbnail cannot be given. Null for index 0 or an unreadable entry.
  std::shared_ptr<TpgwAutoRefGraphic> GetCachedBitmap(TpgwCachedGraphicType cacheType, int imageIndex);
  // The size of the picture handed to the cache; (0, 0) when unknown.
  void GetPictureSize(TpgwCachedGraphicType cacheType, int imageIndex, int& width, int& height);
  bool CachedImagesInUse() const { return FPictureCacheOptions.CachedImagesBuildType() != tbtNone; }
  // Number of shared decoded pictures alive.
  int SharedCount();

  void Clear();
  void BuildFinished();
  // The "picturecache" (and "thumbnailcache") sections of a prepared-report document.
  void SaveToXML(TpgwXMLItem& root);
  void LoadFromXML(TpgwXMLItem& root);

  std::string TempDir() const { return FPictureCache.TempDir(); }
  void SetTempDir(const std::string& v) { FPictureCache.SetTempDir(v); }
  bool UseFileCache() const { return FPictureCache.UseFileCache(); }
  void SetUseFileCache(bool v) { FPictureCache.SetUseFileCache(v); }

 private:
  int AddToCache(TpgwInternalPictureCache& cache, const TpgwPictureConverterOptions& reducer,
                 const TGraphic& graphic, const std::string* encoded);
  void BuildMissingThumbnails();

  TpgwInternalPictureCache FPictureCache;
  TpgwInternalPictureCache FThumbnailCache;
  std::map<int, std::weak_ptr<TpgwAutoRefGraphic>> FCachedBitmap;
  bool FIsUpdating = false;
  TpgwPictureCacheOptions FPictureCacheOptions;
};

}  // namespace pagewright
