#include "expressions/report_classes.h"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "data/data_set.h"
#include "platform/component.h"
#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/memory_budget.h"
#include "platform/properties.h"
#include "platform/safe_output.h"
#include "platform/streams.h"
#include "platform/string_list.h"
#include "platform/unicode.h"
#include "platform/variant.h"
#include "platform/wide_strings.h"
#include "report/bands.h"
#include "report/component.h"
#include "report/memo_view.h"
#include "report/pages.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "report/report_options.h"
#include "report/styles.h"
#include "report/variables.h"
#include "report/view.h"
#include "script/interpreter.h"

namespace pagewright {

namespace {

// The modal result a dialog gives when it is closed without a choice: there are no windows here,
// so every dialog ends that way.
constexpr int kModalResultCancel = 2;

std::string U8(const WideString& s) {
  return Utf16ToUtf8(s);
}

const Variant& Param(const std::vector<Variant>& params, size_t i) {
  static const Variant empty;
  return i < params.size() ? params[i] : empty;
}

bool IsSetCall(const WideString& name) {
  return name.size() > 4 && name.compare(name.size() - 4, 4, u".SET") == 0;
}

Variant ObjectOrNil(TPersistent* obj) {
  return obj ? Variant::FromObject(obj) : Variant::Null();
}

int32_t IndexArg(const Variant& v) {
  return v.AsInteger();
}

// ---- objects a script holds ----------------------------------------------------------------------

// A script object that reads through an object of the report (a memo's lines, the report's
// styles): when that object is destroyed, the script object stays but refuses to be used.
class TpgwScriptHeld : public TComponent {
 public:
  explicit TpgwScriptHeld(TComponent* holder) : FHolder(holder) {
    if (holder) FreeNotification(holder);
  }
  bool HolderGone() const { return FHadHolder && !FHolder; }
  // Frees what the object holds (Free in a script).
  virtual void Release() {}

 protected:
  void Notification(TComponent* c, TOperation op) override {
    if (op == opRemove && c == FHolder) {
      FHolder = nullptr;
      FHadHolder = true;
      Forget();
    }
    TComponent::Notification(c, op);
  }
  virtual void Forget() {}
  TComponent* FHolder;
  bool FHadHolder = false;
};

// TList: the children or all descendants of a report object, read when used.
class TpgwScriptList final : public TpgwScriptHeld {
 public:
  TpgwScriptList(TpgwComponent* source, bool all) : TpgwScriptHeld(source), FSource(source), FAll(all) {}
  static const TClassInfo& StaticClassInfo() {
    static const TClassInfo& info = Describe<TpgwScriptList>("TList").Parent<TComponent>().Build();
    return info;
  }
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  int Count() { return static_cast<int>(Items().size()); }
  TpgwComponent* Item(int index) {
    const std::vector<TpgwComponent*> items = Items();
    if (index < 0 || index >= static_cast<int>(items.size()))
      throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return items[static_cast<size_t>(index)];
  }

 private:
  std::vector<TpgwComponent*> Items() {
    if (!FSource) throw EInvalidOperation("TList: the object whose list this is no longer exists");
    return FAll ? FSource->AllObjects() : FSource->Objects().Snapshot();
  }
  void Forget() override { FSource = nullptr; }
  TpgwComponent* FSource;
  bool FAll;
};

// TWideStrings: a string list of the script's own, or one of the report's (a memo's lines, the
// report's drill-down state) reached through its holder.
class TpgwScriptStrings final : public TpgwScriptHeld {
 public:
  TpgwScriptStrings() : TpgwScriptHeld(nullptr), FOwn(std::make_unique<TStringList>()), FList(FOwn.get()) {}
  TpgwScriptStrings(TComponent* holder, TStringList& list) : TpgwScriptHeld(holder), FList(&list) {}
  static const TClassInfo& StaticClassInfo() {
    static const TClassInfo& info = Describe<TpgwScriptStrings>("TWideStrings").Parent<TComponent>().Build();
    return info;
  }
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  TStringList& List() {
    if (!FList) throw EInvalidOperation("TWideStrings: the object whose lines these are no longer exists");
    return *FList;
  }
  // Counts text the script added against the memory budget.
  void Grew(const std::string& what) {
    int64_t bytes = 0;
    for (int i = 0; i < FList->Count(); ++i) bytes += static_cast<int64_t>((*FList)[i].size() * 2 + 32);
    FMemory.Resize(bytes, what);
  }
  void Added(const WideString& s, const std::string& what) {
    FMemory.Resize(FMemory.Bytes() + static_cast<int64_t>(s.size() * 2 + 32), what);
  }
  void Release() override {
    if (FOwn) FOwn->Clear();
    FMemory.Resize(0, "TWideStrings");
  }

 private:
  void Forget() override { FList = nullptr; }
  std::unique_ptr<TStringList> FOwn;
  TStringList* FList;
  TMemoryReservation FMemory;
};

// TMemoryStream: the only stream a script has; its bytes count against the memory budget.
class TpgwScriptStream final : public TpgwScriptHeld {
 public:
  TpgwScriptStream() : TpgwScriptHeld(nullptr) {}
  static const TClassInfo& StaticClassInfo() {
    static const TClassInfo& info = Describe<TpgwScriptStream>("TMemoryStream").Parent<TComponent>().Build();
    return info;
  }
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  TMemoryStream& Stream() { return FStream; }
  void Grew(const std::string& what) {
    try {
      FMemory.Resize(FStream.Size(), what);
    } catch (const EOutOfMemory&) {
      FStream.Clear();
      FMemory.Resize(0, what);
      throw;
    }
  }
  void Release() override {
    FStream.Clear();
    FMemory.Resize(0, "TMemoryStream");
  }

 private:
  TMemoryStream FStream;
  TMemoryReservation FMemory;
};

// TpgwStyles: a style sheet of the script's own, or the report's.
class TpgwScriptStyles final : public TpgwScriptHeld {
 public:
  explicit TpgwScriptStyles(TpgwReport* report)
      : TpgwScriptHeld(nullptr), FOwn(std::make_unique<TpgwStyles>(report)), FStyles(FOwn.get()) {}
  TpgwScriptStyles(TpgwReport& holder, TpgwStyles& styles) : TpgwScriptHeld(&holder), FStyles(&styles) {}
  static const TClassInfo& StaticClassInfo() {
    static const TClassInfo& info = Describe<TpgwScriptStyles>("TpgwStyles").Parent<TComponent>().Build();
    return info;
  }
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  TpgwStyles& Styles() {
    if (!FStyles) throw EInvalidOperation("TpgwStyles: the report whose styles these are no longer exists");
    return *FStyles;
  }
  void Release() override {
    if (FOwn) FOwn->Clear();
  }

 private:
  void Forget() override { FStyles = nullptr; }
  std::unique_ptr<TpgwStyles> FOwn;
  TpgwStyles* FStyles;
};

// TpgwArray: values by key (the key's text, without regard to case).
class TpgwScriptArray final : public TpgwScriptHeld {
 public:
  // Far more entries than a report needs; each costs memory the budget cannot see exactly.
  static constexpr size_t kMaxEntries = 1000000;
  TpgwScriptArray() : TpgwScriptHeld(nullptr) {}
  static const TClassInfo& StaticClassInfo() {
    static const TClassInfo& info = Describe<TpgwScriptArray>("TpgwArray").Parent<TComponent>().Build();
    return info;
  }
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  Variant Get(const Variant& key) const {
    auto it = FValues.find(WideUpperCase(VarToStr(key)));
    return it == FValues.end() ? Variant::Null() : it->second;
  }
  void Set(const Variant& key, const Variant& value) {
    const WideString k = WideUpperCase(VarToStr(key));
    auto it = FValues.find(k);
    if (it != FValues.end()) {
      it->second = value;
      return;
    }
    if (FValues.size() >= kMaxEntries)
      throw EOutOfMemory("TpgwArray: more than " + std::to_string(kMaxEntries) + " values");
    FMemory.Resize(FMemory.Bytes() + static_cast<int64_t>(k.size() * 2 + 64), "TpgwArray");
    FValues.emplace(k, value);
  }
  void Release() override {
    FValues.clear();
    FMemory.Resize(0, "TpgwArray");
  }

 private:
  std::map<WideString, Variant> FValues;
  TMemoryReservation FMemory;
};

// What a script created, owned by its program: kept until the program ends, so that no value the
// script still holds points at freed memory; Free empties an object and makes later use an error.
class TpgwScriptObjects final : public TvmCustomVariable {
 public:
  TpgwReport* Report = nullptr;
  bool AllowWrites = false;

  template <class T, class... A>
  T* Make(A&&... args) {
    if (FCounted >= kMaxScriptObjects)
      throw EOutOfMemory("A script may create at most " + std::to_string(kMaxScriptObjects) + " objects");
    ++FCounted;
    auto obj = std::make_unique<T>(std::forward<A>(args)...);
    T* raw = obj.get();
    FLive.insert(raw);
    FObjects.push_back(std::move(obj));
    return raw;
  }
  // Takes an object made elsewhere: a copied prepared page, counted like the script's own, or
  // an object the script detached from the report (not counted: the report held it already).
  TPersistent* Adopt(std::unique_ptr<TPersistent> obj, bool counted) {
    if (counted && ++FCounted > kMaxScriptObjects)
      throw EOutOfMemory("A script may create at most " + std::to_string(kMaxScriptObjects) + " objects");
    TPersistent* raw = obj.get();
    FLive.insert(raw);
    FObjects.push_back(std::move(obj));
    return raw;
  }
  bool Owns(const TPersistent* obj) const { return obj && FLive.count(obj) > 0; }
  bool Freed(const TPersistent* obj) const { return obj && FFreed.count(obj) > 0; }
  void Free(TPersistent* obj) {
    if (!Owns(obj) || Freed(obj)) return;
    if (auto* held = dynamic_cast<TpgwScriptHeld*>(obj)) held->Release();
    if (auto* vars = dynamic_cast<TpgwVariables*>(obj)) vars->Clear();
    FFreed.insert(obj);
  }
  // The script object through which the report object `source` is reached (one per source and
  // kind, made on first use and again when the source it was made for is gone).
  template <class T, class F>
  T* Wrapper(const void* source, int kind, F make) {
    auto key = std::make_pair(source, kind);
    auto it = FWrappers.find(key);
    if (it != FWrappers.end()) {
      auto* held = static_cast<TpgwScriptHeld*>(it->second);
      if (!held->HolderGone()) return static_cast<T*>(it->second);
    }
    T* made = make();
    FWrappers[key] = made;
    return made;
  }
  // Objects a script placed into a string list; only these are given back from its Objects.
  std::set<const void*> Placed;
  // Prepared pages copied for the script, with their indexes.
  std::map<const TPersistent*, int> Pages;

 private:
  std::vector<std::unique_ptr<TPersistent>> FObjects;
  size_t FCounted = 0;
  std::set<const TPersistent*> FLive, FFreed;
  std::map<std::pair<const void*, int>, TPersistent*> FWrappers;
};

TpgwScriptObjects* FindScriptObjects(TvmScript& script) {
  for (int i = 0; i < script.Count(); ++i)
    if (auto* s = dynamic_cast<TpgwScriptObjects*>(script.GetItem(i))) return s;
  return nullptr;
}

// The object a member is applied to, as the class it must be; a freed or missing object is an
// error naming the member.
template <class T>
T& Self(TpgwScriptObjects& store, TPersistent* obj, const char* member) {
  if (!obj) throw EAccessViolation(std::string(member) + ": the object is nil");
  if (store.Freed(obj)) throw EInvalidOperation(std::string(member) + ": the object was freed");
  auto* t = dynamic_cast<T*>(obj);
  if (!t) throw EInvalidOperation(std::string(member) + ": the object is a " + obj->ClassName());
  return *t;
}

// A stream argument: only a memory stream the script created.
TpgwScriptStream& StreamArg(TpgwScriptObjects& store, const Variant& v, const char* member) {
  TPersistent* obj = v.IsObject() ? v.AsObject() : nullptr;
  auto* s = dynamic_cast<TpgwScriptStream*>(obj);
  if (!s || !store.Owns(obj))
    throw EInvalidOperation(std::string(member) + ": the stream must be a TMemoryStream the script created");
  if (store.Freed(obj)) throw EInvalidOperation(std::string(member) + ": the stream was freed");
  return *s;
}

TpgwScriptStrings& StringsArg(TpgwScriptObjects& store, const Variant& v, const char* member) {
  TPersistent* obj = v.IsObject() ? v.AsObject() : nullptr;
  if (!obj) throw EAccessViolation(std::string(member) + ": the list is nil");
  return Self<TpgwScriptStrings>(store, obj, member);
}

// Removes the children of a report object as Clear does, but hands them to the script's store
// instead of destroying them: a value the script still holds keeps pointing at a live (detached,
// nameless) object. Children from an inherited template stay and lose their own children.
void DetachChildren(TpgwScriptObjects& store, TpgwComponent& c) {
  for (TpgwComponent* child : c.Objects().Snapshot()) {
    if (child->IsAncestor()) {
      DetachChildren(store, *child);
      continue;
    }
    std::unique_ptr<TpgwComponent> kept = child->DetachFromParent();
    // Nameless, so that the names are free for what is loaded next.
    std::vector<TpgwComponent*> subtree = kept->AllObjects();
    for (TpgwComponent* o : subtree) o->SetName(WideString());
    kept->SetName(WideString());
    store.Adopt(std::unique_ptr<TPersistent>(std::move(kept)), false);
  }
}

// The same for style items, which a style sheet destroys when it loads another.
void DetachStyleItems(TpgwScriptObjects& store, TpgwStyles& styles) {
  for (std::unique_ptr<TpgwStyleItem>& item : styles.TakeItems())
    store.Adopt(std::unique_ptr<TPersistent>(std::move(item)), false);
}

// ---- files ------------------------------------------------------------------------------------------

// The full name of a file a script names: relative names are taken from the template's folder,
// and the file must lie inside that folder or one the host allowed (symbolic links resolved).
std::string ScriptFilePath(const TpgwScriptObjects& store, const Variant& name, const char* member,
                           bool write) {
  if (write && !store.AllowWrites)
    throw EFCreateError(std::string(member) + " is not allowed in report scripts: they may not write files");
  const WideString fileName = VarToStr(name);
  TpgwReport* report = store.Report;
  if (!report)
    throw EFOpenError(std::string(member) + ": \"" + U8(fileName) +
                      "\": this script belongs to no template, so it may use no files");
  if (fileName.empty()) throw EFOpenError(std::string(member) + ": no file name");
  WideString path = ResolvePathFrom(report->FileName(), fileName);
  if (path.empty() || path[0] != u'/')
    path = IncludeTrailingPathDelimiter(Utf8ToUtf16(GetCurrentDir())) + path;
  std::vector<std::string> folders = report->AllowedFolders();
  folders.push_back(report->TemplateFolder());
  if (!PathIsInside(U8(path), folders))
    throw EFOpenError(std::string(member) + ": \"" + U8(fileName) +
                      "\": a report script may use files in its template's folder only");
  return U8(path);
}

std::unique_ptr<TMemoryStream> ReadScriptFile(const TpgwScriptObjects& store, const Variant& name,
                                              const char* member) {
  const std::string path = ScriptFilePath(store, name, member, false);
  try {
    return OpenRegularFileForReading(path, kMaxScriptFileBytes);
  } catch (const EFOpenError& e) {
    throw EFOpenError(std::string(member) + ": " + e.Message());
  }
}

// Writes through a temporary file that replaces the target only when complete.
template <class F>
void WriteScriptFile(const TpgwScriptObjects& store, const Variant& name, const char* member, F write) {
  const std::string path = ScriptFilePath(store, name, member, true);
  TSafeOutputStream out(path);
  write(static_cast<TStream&>(out));
  out.Commit();
}

// Tree changes that would pull objects from under a running engine, or the running script from
// under itself: clearing or reloading the report root replaces the script that is running.
void RefuseWhileRunning(const TpgwScriptObjects& store, TpgwComponent& c, const char* member) {
  TpgwReport* report = c.Report();
  if (report && (report->IsReportActionRunning() || report->RunningEngine()))
    throw EInvalidOperation(std::string(member) + " cannot be called while the report runs");
  if (&c == store.Report)
    throw EInvalidOperation(
        std::string(member) +
        " cannot be called on the report from its own script: it would replace the script "
        "that is running");
}

// "Class.Member" as registered, for messages (callbacks get the member's name in upper case).
std::string MemberName(const char16_t* className, TvmClassVariable* cls, const WideString& upperName) {
  WideString name = upperName;
  const size_t dot = name.find(u'.');
  if (dot != WideString::npos) name.resize(dot);
  if (TvmCustomHelper* m = cls ? cls->Find(name) : nullptr) name = m->Name;
  return U8(className) + "." + U8(name);
}

// ---- registrations ---------------------------------------------------------------------------------

using Call = TvmCallMethodEvent;

// The class item of a report class, registered with its ancestors when absent.
template <class T>
TvmClassVariable* ClassOf(TvmScript& s) {
  TvmClassVariable* cls = s.AddClassChain(T::StaticClassInfo());
  if (!cls)
    throw Exception("The name " + T::StaticClassInfo().Name() + " means something else in this script");
  return cls;
}

void AddObjectClasses(TvmScript& s, TpgwScriptObjects* store) {
  TvmClassVariable* object = s.AddClass(u"TObject", WideString());
  if (!object) return;
  object->AddMethod(u"procedure Free", [store](TPersistent* obj, TvmClassVariable*, const WideString&,
                                               std::vector<Variant>&) {
    if (!obj) return Variant::Null();  // freeing nil does nothing
    if (!store->Owns(obj))
      throw EInvalidOperation(std::string("Free: only objects the script created can be freed, not a ") +
                              obj->ClassName());
    store->Free(obj);
    return Variant::Null();
  });
  if (TvmClassVariable* persistent = s.AddClassChain(TPersistent::StaticClassInfo()))
    if (persistent->Ancestor.empty()) persistent->Ancestor = u"TObject";
  s.AddClassChain(TComponent::StaticClassInfo());
  s.AddClass(u"TCollection", u"TPersistent");
  // A parameter typed TStrings takes any string list.
  s.AddType(u"TStrings", fvtVariant);

  TvmClassVariable* list = s.AddClass(u"TList", u"TObject");
  list->AddProperty(u"Count", u"Integer", [store](TPersistent* obj, TvmClassVariable*, const WideString&) {
    return Variant(Self<TpgwScriptList>(*store, obj, "TList.Count").Count());
  });
  list->AddDefaultProperty(
      u"Items", u"Integer", u"TpgwComponent",
      [store](TPersistent* obj, TvmClassVariable*, const WideString&, std::vector<Variant>& p) {
        return ObjectOrNil(Self<TpgwScriptList>(*store, obj, "TList.Items").Item(IndexArg(Param(p, 0))));
      },
      true);

  s.AddClass(u"TStream", u"TObject");
  TvmClassVariable* stream = s.AddClass(u"TMemoryStream", u"TStream");
  stream->AddConstructor(u"constructor Create",
                         [store](TPersistent*, TvmClassVariable*, const WideString&, std::vector<Variant>&) {
                           return Variant::FromObject(store->Make<TpgwScriptStream>());
                         });
  stream->AddProperty(u"Size", u"Integer", [store](TPersistent* obj, TvmClassVariable*, const WideString&) {
    return Variant::FromInt64(Self<TpgwScriptStream>(*store, obj, "TMemoryStream.Size").Stream().Size());
  });
  stream->AddProperty(
      u"Position", u"Integer",
      [store](TPersistent* obj, TvmClassVariable*, const WideString&) {
        return Variant::FromInt64(
            Self<TpgwScriptStream>(*store, obj, "TMemoryStream.Position").Stream().Position());
      },
      [store](TPersistent* obj, TvmClassVariable*, const WideString&, const Variant& v) {
        TMemoryStream& m = Self<TpgwScriptStream>(*store, obj, "TMemoryStream.Position").Stream();
        const int64_t at = v.AsInt64();
        if (at < 0 || at > m.Size())
          throw EStreamError("TMemoryStream.Position: " + std::to_string(at) + " is outside the stream");
        m.Seek(at, soBeginning);
      });
}

void AddStringsClass(TvmScript& s, TpgwScriptObjects* store) {
  TvmClassVariable* cls = s.AddClass(u"TWideStrings", u"TPersistent");
  if (!cls) return;
  cls->AddConstructor(u"constructor Create",
                      [store](TPersistent*, TvmClassVariable*, const WideString&, std::vector<Variant>&) {
                        return Variant::FromObject(store->Make<TpgwScriptStrings>());
                      });
  auto call = [store](TPersistent* obj, TvmClassVariable* cls, const WideString& name,
                      std::vector<Variant>& p) -> Variant {
    const std::string member = MemberName(u"TWideStrings", cls, name);
    TpgwScriptStrings& self = Self<TpgwScriptStrings>(*store, obj, member.c_str());
    TStringList& list = self.List();
    const Variant& a0 = Param(p, 0);
    if (name == u"ADD" || name == u"ADDOBJECT") {
      const WideString text = VarToStr(a0);
      self.Added(text, member);
      void* placed = nullptr;
      if (name == u"ADDOBJECT" && Param(p, 1).IsObject()) {
        placed = Param(p, 1).AsObject();
        store->Placed.insert(placed);
      }
      return Variant(list.AddObject(text, placed));
    }
    if (name == u"CLEAR") {
      list.Clear();
      self.Grew(member);
    } else if (name == u"DELETE") {
      list.Delete(IndexArg(a0));
    } else if (name == u"INDEXOF") {
      return Variant(list.IndexOf(VarToStr(a0)));
    } else if (name == u"INSERT") {
      const WideString text = VarToStr(Param(p, 1));
      self.Added(text, member);
      list.Insert(IndexArg(a0), text);
    } else if (name == u"LOADFROMFILE") {
      std::unique_ptr<TMemoryStream> bytes = ReadScriptFile(*store, a0, member.c_str());
      list.LoadFromStream(*bytes);
      self.Grew(member);
    } else if (name == u"LOADFROMSTREAM") {
      list.LoadFromStream(StreamArg(*store, a0, member.c_str()).Stream());
      self.Grew(member);
    } else if (name == u"SAVETOFILE") {
      WriteScriptFile(*store, a0, member.c_str(), [&](TStream& out) { list.SaveToStream(out); });
    } else if (name == u"SAVETOSTREAM") {
      TpgwScriptStream& stream = StreamArg(*store, a0, member.c_str());
      list.SaveToStream(stream.Stream());
      stream.Grew(member);
    } else if (name == u"OBJECTS.GET") {
      const int i = IndexArg(a0);
      void* placed = list.Objects(i);
      return store->Placed.count(placed) ? Variant::FromObject(static_cast<TPersistent*>(placed))
                                         : Variant::Null();
    } else if (name == u"OBJECTS.SET") {
      void* placed = Param(p, 1).IsObject() ? Param(p, 1).AsObject() : nullptr;
      if (placed) store->Placed.insert(placed);
      list.SetObjects(IndexArg(a0), placed);
    } else if (name == u"STRINGS.GET") {
      return Variant(list.Strings(IndexArg(a0)));
    } else if (name == u"STRINGS.SET") {
      const WideString text = VarToStr(Param(p, 1));
      self.Added(text, member);
      list.SetStrings(IndexArg(a0), text);
    }
    return Variant::Null();
  };
  for (const char16_t* m :
       {u"function Add(const S: String): Integer",
        u"function AddObject(const S: String; AObject: TObject): Integer", u"procedure Clear",
        u"procedure Delete(Index: Integer)", u"function IndexOf(const S: String): Integer",
        u"procedure Insert(Index: Integer; const S: String)",
        u"procedure LoadFromFile(const FileName: String)", u"procedure LoadFromStream(Stream: TStream)",
        u"procedure SaveToFile(const FileName: String)", u"procedure SaveToStream(Stream: TStream)"})
    cls->AddMethod(m, call);
  cls->AddIndexProperty(u"Objects", u"Integer", u"TObject", call);
  cls->AddDefaultProperty(u"Strings", u"Integer", u"String", call);
  cls->AddProperty(u"Count", u"Integer", [store](TPersistent* obj, TvmClassVariable*, const WideString&) {
    return Variant(Self<TpgwScriptStrings>(*store, obj, "TWideStrings.Count").List().Count());
  });
  cls->AddProperty(
      u"Text", u"String",
      [store](TPersistent* obj, TvmClassVariable*, const WideString&) {
        return Variant(Self<TpgwScriptStrings>(*store, obj, "TWideStrings.Text").List().Text());
      },
      [store](TPersistent* obj, TvmClassVariable*, const WideString&, const Variant& v) {
        TpgwScriptStrings& self = Self<TpgwScriptStrings>(*store, obj, "TWideStrings.Text");
        self.List().SetText(VarToStr(v));
        self.Grew("TWideStrings.Text");
      });
}

void AddFillClasses(TvmScript& s) {
  TvmClassVariable* custom = s.AddClass(u"TpgwCustomFill", u"TPersistent");
  if (!custom) return;
  s.AddClassChain(TpgwBaseFill::StaticClassInfo());
  if (TvmClassVariable* base = s.FindClass(u"TpgwBaseFill")) base->Ancestor = u"TpgwCustomFill";
  s.AddClassChain(TpgwBrushFill::StaticClassInfo());
  s.AddClassChain(TpgwGradientFill::StaticClassInfo());
  s.AddClassChain(TpgwGlassFill::StaticClassInfo());
  // A cast gives the fill itself when it is of that kind, nil otherwise.
  auto cast = [](TPersistent* obj, TvmClassVariable*, const WideString& name, std::vector<Variant>&) {
    if (name == u"ASBRUSHFILL") return ObjectOrNil(dynamic_cast<TpgwBrushFill*>(obj));
    if (name == u"ASGRADIENTFILL") return ObjectOrNil(dynamic_cast<TpgwGradientFill*>(obj));
    return ObjectOrNil(dynamic_cast<TpgwGlassFill*>(obj));
  };
  custom->AddMethod(u"function AsBrushFill: TpgwBrushFill", cast);
  custom->AddMethod(u"function AsGradientFill: TpgwGradientFill", cast);
  custom->AddMethod(u"function AsGlassFill: TpgwGlassFill", cast);
}

// Reads the member's object as a report class, or raises naming the member.
template <class T>
T& Obj(TPersistent* obj, const char* member) {
  auto* t = dynamic_cast<T*>(obj);
  if (!t)
    throw EInvalidOperation(std::string(member) + (obj ? std::string(": the object is a ") + obj->ClassName()
                                                       : std::string(": the object is nil")));
  return *t;
}

void AddComponentMembers(TvmScript& s, TpgwScriptObjects* store) {
  TvmClassVariable* cls = ClassOf<TpgwComponent>(s);
  auto call = [store](TPersistent* obj, TvmClassVariable* cls, const WideString& name,
                      std::vector<Variant>& p) -> Variant {
    const std::string member = MemberName(u"TpgwComponent", cls, name);
    TpgwComponent& c = Obj<TpgwComponent>(obj, member.c_str());
    if (name == u"CLEAR") {
      RefuseWhileRunning(*store, c, member.c_str());
      DetachChildren(*store, c);
    } else if (name == u"LOADFROMSTREAM") {
      RefuseWhileRunning(*store, c, member.c_str());
      TpgwScriptStream& stream = StreamArg(*store, Param(p, 0), member.c_str());
      DetachChildren(*store, c);
      c.LoadFromStream(stream.Stream());
    } else if (name == u"SAVETOSTREAM") {
      TpgwScriptStream& stream = StreamArg(*store, Param(p, 0), member.c_str());
      c.SaveToStream(stream.Stream(), Param(p, 1).IsNull() || Param(p, 1).AsBoolean());
      stream.Grew(member);
    } else if (name == u"SETBOUNDS") {
      c.SetBounds(Param(p, 0).AsExtended(), Param(p, 1).AsExtended(), Param(p, 2).AsExtended(),
                  Param(p, 3).AsExtended());
    }
    return Variant::Null();
  };
  for (const char16_t* m : {u"procedure Clear", u"procedure LoadFromStream(Stream: TStream)",
                            u"procedure SaveToStream(Stream: TStream; SaveChildren: Boolean = True)",
                            u"procedure SetBounds(ALeft, ATop, AWidth, AHeight: Extended)"})
    cls->AddMethod(m, call);
  for (int kind : {0, 1})
    cls->AddProperty(kind == 0 ? u"Objects" : u"AllObjects", u"TList",
                     [store, kind](TPersistent* obj, TvmClassVariable*, const WideString&) {
                       TpgwComponent& c = Obj<TpgwComponent>(obj, kind == 0 ? "Objects" : "AllObjects");
                       return Variant::FromObject(store->Wrapper<TpgwScriptList>(
                           &c, kind, [&] { return store->Make<TpgwScriptList>(&c, kind == 1); }));
                     });
  cls->AddProperty(u"Page", u"TpgwPage", [](TPersistent* obj, TvmClassVariable*, const WideString&) {
    return ObjectOrNil(Obj<TpgwComponent>(obj, "TpgwComponent.Page").Page());
  });
  cls->AddProperty(u"AbsLeft", u"Extended", [](TPersistent* obj, TvmClassVariable*, const WideString&) {
    return Variant(Obj<TpgwComponent>(obj, "TpgwComponent.AbsLeft").AbsLeft());
  });
  cls->AddProperty(u"AbsTop", u"Extended", [](TPersistent* obj, TvmClassVariable*, const WideString&) {
    return Variant(Obj<TpgwComponent>(obj, "TpgwComponent.AbsTop").AbsTop());
  });
}

void AddViewMembers(TvmScript& s, TpgwScriptObjects* store) {
  ClassOf<TpgwStretcheable>(s)->AddMethod(
      u"function CalcHeight: Extended",
      [](TPersistent* obj, TvmClassVariable*, const WideString&, std::vector<Variant>&) {
        return Variant(Obj<TpgwStretcheable>(obj, "TpgwStretcheable.CalcHeight").CalcHeight());
      });
  TvmClassVariable* memo = ClassOf<TpgwCustomMemoView>(s);
  memo->AddProperty(
      u"AnsiText", u"String",
      [](TPersistent* obj, TvmClassVariable*, const WideString&) {
        return Variant(Obj<TpgwCustomMemoView>(obj, "TpgwCustomMemoView.AnsiText").AnsiText());
      },
      [](TPersistent* obj, TvmClassVariable*, const WideString&, const Variant& v) {
        Obj<TpgwCustomMemoView>(obj, "TpgwCustomMemoView.AnsiText").SetAnsiText(VarToStr(v));
      });
  memo->AddProperty(u"Lines", u"TWideStrings",
                    [store](TPersistent* obj, TvmClassVariable*, const WideString&) {
                      TpgwCustomMemoView& m = Obj<TpgwCustomMemoView>(obj, "TpgwCustomMemoView.Lines");
                      return Variant::FromObject(store->Wrapper<TpgwScriptStrings>(
                          &m, 0, [&] { return store->Make<TpgwScriptStrings>(&m, m.Lines()); }));
                    });

  ClassOf<TpgwPictureView>(s)->AddMethod(
      u"procedure LoadFromFile(filename: String)",
      [store](TPersistent* obj, TvmClassVariable*, const WideString&, std::vector<Variant>& p) {
        const char* member = "TpgwPictureView.LoadFromFile";
        TpgwPictureView& view = Obj<TpgwPictureView>(obj, member);
        std::unique_ptr<TMemoryStream> bytes = ReadScriptFile(*store, Param(p, 0), member);
        if (!view.LoadPictureFromStream(*bytes, true))
          throw EInvalidOperation(std::string(member) + ": \"" + U8(VarToStr(Param(p, 0))) +
                                  "\" is not a picture this system can read");
        return Variant::Null();
      });

  TvmClassVariable* band = ClassOf<TpgwBand>(s);
  band->AddProperty(
      u"Overflow", u"Boolean",
      [](TPersistent* obj, TvmClassVariable*, const WideString&) {
        return Variant(Obj<TpgwBand>(obj, "TpgwBand.Overflow").Overflow());
      },
      [](TPersistent* obj, TvmClassVariable*, const WideString&, const Variant& v) {
        Obj<TpgwBand>(obj, "TpgwBand.Overflow").SetOverflow(v.AsBoolean());
      });
  band->AddMethod(u"procedure AlignChildren",
                  [](TPersistent* obj, TvmClassVariable*, const WideString&, std::vector<Variant>&) {
                    Obj<TpgwBand>(obj, "TpgwBand.AlignChildren").AlignChildren();
                    return Variant::Null();
                  });

  // Dialog forms have no windows on this platform: a control cannot take the focus (SetFocus
  // does nothing) and a dialog shown modally ends at once as if cancelled.
  if (TvmClassVariable* control = s.AddClass(u"TpgwDialogControl", u"TpgwReportComponent"))
    control->AddMethod(u"procedure SetFocus", [](TPersistent*, TvmClassVariable*, const WideString&,
                                                 std::vector<Variant>&) { return Variant::Null(); });
  TvmClassVariable* dialog = ClassOf<TpgwDialogPage>(s);
  dialog->AddMethod(u"function ShowModal: Integer",
                    [](TPersistent* obj, TvmClassVariable*, const WideString&, std::vector<Variant>&) {
                      TpgwDialogPage& page = Obj<TpgwDialogPage>(obj, "TpgwDialogPage.ShowModal");
                      page.SetModalResult(kModalResultCancel);
                      return Variant(kModalResultCancel);
                    });
  dialog->AddProperty(
      u"ModalResult", u"Integer",
      [](TPersistent* obj, TvmClassVariable*, const WideString&) {
        return Variant(Obj<TpgwDialogPage>(obj, "TpgwDialogPage.ModalResult").ModalResult());
      },
      [](TPersistent* obj, TvmClassVariable*, const WideString&, const Variant& v) {
        Obj<TpgwDialogPage>(obj, "TpgwDialogPage.ModalResult").SetModalResult(v.AsInteger());
      });

  TvmClassVariable* options = ClassOf<TpgwEngineOptions>(s);
  if (!options->Find(u"DestroyForms"))
    options->AddProperty(
        u"DestroyForms", u"Boolean",
        [](TPersistent* obj, TvmClassVariable*, const WideString&) {
          return Variant(Obj<TpgwEngineOptions>(obj, "TpgwEngineOptions.DestroyForms").DestroyForms());
        },
        [](TPersistent* obj, TvmClassVariable*, const WideString&, const Variant& v) {
          Obj<TpgwEngineOptions>(obj, "TpgwEngineOptions.DestroyForms").SetDestroyForms(v.AsBoolean());
        });
}

void AddDataMembers(TvmScript& s, TpgwScriptObjects* store) {
  ClassOf<TpgwDataSet>(s)->AddMethod(
      u"procedure GetFieldList(List: TStrings)",
      [store](TPersistent* obj, TvmClassVariable*, const WideString&, std::vector<Variant>& p) {
        const char* member = "TpgwDataSet.GetFieldList";
        TpgwScriptStrings& list = StringsArg(*store, Param(p, 0), member);
        Obj<TpgwDataSet>(obj, member).GetFieldList(list.List());
        list.Grew(member);
        return Variant::Null();
      });

  TvmClassVariable* vars = ClassOf<TpgwVariables>(s);
  if (vars->Ancestor == u"TPersistent") vars->Ancestor = u"TCollection";
  vars->AddConstructor(u"constructor Create",
                       [store](TPersistent*, TvmClassVariable*, const WideString&, std::vector<Variant>&) {
                         return Variant::FromObject(store->Make<TpgwVariables>());
                       });

  TvmClassVariable* array = s.AddClass(u"TpgwArray", u"TObject");
  array->AddConstructor(u"constructor Create",
                        [store](TPersistent*, TvmClassVariable*, const WideString&, std::vector<Variant>&) {
                          return Variant::FromObject(store->Make<TpgwScriptArray>());
                        });
  array->AddDefaultProperty(
      u"Variables", u"Variant", u"Variant",
      [store](TPersistent* obj, TvmClassVariable*, const WideString& name, std::vector<Variant>& p) {
        TpgwScriptArray& a = Self<TpgwScriptArray>(*store, obj, "TpgwArray.Variables");
        if (!IsSetCall(name)) return a.Get(Param(p, 0));
        a.Set(Param(p, 0), Param(p, 1));
        return Variant::Null();
      });
}

void AddStylesClass(TvmScript& s, TpgwScriptObjects* store) {
  s.AddClassChain(TpgwStyleItem::StaticClassInfo());
  TvmClassVariable* cls = s.AddClass(u"TpgwStyles", u"TCollection");
  if (!cls) return;
  cls->AddConstructor(
      u"constructor Create(AReport: TpgwReport)",
      [store](TPersistent*, TvmClassVariable*, const WideString&, std::vector<Variant>& p) {
        auto* report = dynamic_cast<TpgwReport*>(Param(p, 0).IsObject() ? Param(p, 0).AsObject() : nullptr);
        return Variant::FromObject(store->Make<TpgwScriptStyles>(report));
      });
  auto call = [store](TPersistent* obj, TvmClassVariable* cls, const WideString& name,
                      std::vector<Variant>& p) -> Variant {
    const std::string member = MemberName(u"TpgwStyles", cls, name);
    TpgwStyles& styles = Self<TpgwScriptStyles>(*store, obj, member.c_str()).Styles();
    const Variant& a0 = Param(p, 0);
    if (name == u"ITEMS.GET") {
      const int i = IndexArg(a0);
      if (i < 0 || i >= styles.Count())
        throw EListError("List index out of bounds (" + std::to_string(i) + ")");
      return Variant::FromObject(&styles.Items(i));
    }
    if (name == u"ADD") return Variant::FromObject(&styles.Add());
    if (name == u"FIND") return ObjectOrNil(styles.Find(VarToStr(a0)));
    if (name == u"APPLY") {
      styles.Apply();
    } else if (name == u"GETLIST") {
      TpgwScriptStrings& list = StringsArg(*store, a0, member.c_str());
      styles.GetList(list.List());
      list.Grew(member);
    } else if (name == u"LOADFROMFILE") {
      std::unique_ptr<TMemoryStream> bytes = ReadScriptFile(*store, a0, member.c_str());
      DetachStyleItems(*store, styles);
      styles.LoadFromStream(*bytes);
    } else if (name == u"LOADFROMSTREAM") {
      TpgwScriptStream& stream = StreamArg(*store, a0, member.c_str());
      DetachStyleItems(*store, styles);
      styles.LoadFromStream(stream.Stream());
    } else if (name == u"SAVETOFILE") {
      WriteScriptFile(*store, a0, member.c_str(), [&](TStream& out) { styles.SaveToStream(out); });
    } else if (name == u"SAVETOSTREAM") {
      TpgwScriptStream& stream = StreamArg(*store, a0, member.c_str());
      styles.SaveToStream(stream.Stream());
      stream.Grew(member);
    } else if (name == u"COUNT") {
      return Variant(styles.Count());
    }
    return Variant::Null();
  };
  cls->AddDefaultProperty(u"Items", u"Integer", u"TpgwStyleItem", call, true);
  for (const char16_t* m :
       {u"function Add: TpgwStyleItem", u"function Find(const Name: String): TpgwStyleItem",
        u"procedure Apply", u"procedure GetList(List: TStrings)",
        u"procedure LoadFromFile(const FileName: String)", u"procedure LoadFromStream(Stream: TStream)",
        u"procedure SaveToFile(const FileName: String)", u"procedure SaveToStream(Stream: TStream)",
        u"function Count: Integer"})
    cls->AddMethod(m, call);
}

void AddReportMembers(TvmScript& s, TpgwScriptObjects* store) {
  TvmClassVariable* cls = ClassOf<TpgwReport>(s);
  auto call = [store](TPersistent* obj, TvmClassVariable* cls, const WideString& name,
                      std::vector<Variant>& p) -> Variant {
    const std::string member = MemberName(u"TpgwReport", cls, name);
    TpgwReport& r = Obj<TpgwReport>(obj, member.c_str());
    const Variant& a0 = Param(p, 0);
    if (name == u"LOADFROMFILE") {
      // The file rule first, so that a script learns which files it may name at all.
      const std::string path = ScriptFilePath(*store, a0, member.c_str(), false);
      std::unique_ptr<TMemoryStream> bytes = ReadScriptFile(*store, a0, member.c_str());
      RefuseWhileRunning(*store, r, member.c_str());
      r.Clear();
      r.SetFileName(Utf8ToUtf16(path));
      r.LoadFromStream(*bytes);
      return Variant(r.Errors().Count() == 0);
    }
    if (name == u"SAVETOFILE") {
      WriteScriptFile(*store, a0, member.c_str(), [&](TStream& out) { r.SaveToStream(out); });
      return Variant::Null();
    }
    if (name == u"PREPAREREPORT" || name == u"SHOWREPORT") {
      // The scripts of a report run while it is prepared: preparing it again from there would
      // start the preparation inside itself.
      // The same holds outside a run: preparing fills the script anew, under the statement that
      // called it.
      if (r.IsReportActionRunning() || r.RunningEngine() || &r == store->Report)
        throw EInvalidOperation(member +
                                " cannot be called from the report's own script: it runs while the report "
                                "is prepared, and preparing again would start inside itself");
      // There is no preview window: ShowReport prepares the pages a preview would show.
      return Variant(r.PrepareReport(Param(p, 0).IsNull() || Param(p, 0).AsBoolean()));
    }
    if (name == u"PRINT")
      throw EInvalidOperation("Print is not available in report scripts: the host prints prepared reports");
    return Variant::Null();
  };
  for (const char16_t* m :
       {u"function LoadFromFile(const FileName: String): Boolean",
        u"procedure SaveToFile(const FileName: String)",
        u"function ShowReport(ClearLastReport: Boolean = True): Boolean",
        u"function PrepareReport(ClearLastReport: Boolean = True): Boolean", u"function Print: Boolean"})
    cls->AddMethod(m, call);
  cls->AddProperty(u"Styles", u"TpgwStyles", [store](TPersistent* obj, TvmClassVariable*, const WideString&) {
    TpgwReport& r = Obj<TpgwReport>(obj, "TpgwReport.Styles");
    return Variant::FromObject(store->Wrapper<TpgwScriptStyles>(
        &r, 1, [&] { return store->Make<TpgwScriptStyles>(r, r.Styles()); }));
  });
  cls->AddProperty(u"DrillState", u"TWideStrings",
                   [store](TPersistent* obj, TvmClassVariable*, const WideString&) {
                     TpgwReport& r = Obj<TpgwReport>(obj, "TpgwReport.DrillState");
                     return Variant::FromObject(store->Wrapper<TpgwScriptStrings>(
                         &r, 2, [&] { return store->Make<TpgwScriptStrings>(&r, r.DrillState()); }));
                   });
}

}  // namespace

void AddScriptBaseClasses(TvmScript& script) {
  auto objects = std::make_unique<TpgwScriptObjects>();
  TpgwScriptObjects* store = objects.get();
  script.Add(WideString(), std::move(objects));
  AddObjectClasses(script, store);
  AddStringsClass(script, store);
  AddFillClasses(script);
  for (const TClassInfo* info : {&TpgwFont::StaticClassInfo(), &TpgwFrameLine::StaticClassInfo(),
                                 &TpgwFrame::StaticClassInfo(), &TpgwHighlight::StaticClassInfo(),
                                 &TpgwFormat::StaticClassInfo(), &TpgwEngineOptions::StaticClassInfo(),
                                 &TpgwPreviewOptions::StaticClassInfo(), &TpgwPrintOptions::StaticClassInfo(),
                                 &TpgwReportOptions::StaticClassInfo(), &TpgwVariable::StaticClassInfo()})
    script.AddClassChain(*info);
}

void AddReportClassMembers(TvmScript& script) {
  TpgwScriptObjects* store = FindScriptObjects(script);
  if (!store) throw Exception("The script's object store is not registered");
  AddComponentMembers(script, store);
  AddViewMembers(script, store);
  AddDataMembers(script, store);
  AddStylesClass(script, store);
  AddReportMembers(script, store);
}

TpgwComponent* KeepScriptPage(TvmScript& script, std::unique_ptr<TpgwComponent> page, int index) {
  TpgwScriptObjects* store = FindScriptObjects(script);
  if (!store) throw Exception("The script's object store is not registered");
  TpgwComponent* raw = page.get();
  store->Adopt(std::unique_ptr<TPersistent>(std::move(page)), true);
  store->Pages[raw] = index;
  return raw;
}

int ScriptPageIndex(TvmScript& script, const TpgwComponent* page) {
  TpgwScriptObjects* store = FindScriptObjects(script);
  if (!store || !page) return -1;
  auto it = store->Pages.find(page);
  return it == store->Pages.end() ? -1 : it->second;
}

TStringList* ScriptStringList(TPersistent* obj) {
  auto* strings = dynamic_cast<TpgwScriptStrings*>(obj);
  return strings ? &strings->List() : nullptr;
}

void SetScriptReport(TvmScript& script, TpgwReport* report) {
  if (TpgwScriptObjects* store = FindScriptObjects(script)) store->Report = report;
}

void SetScriptFileWrites(TvmScript& script, bool allowed) {
  if (TpgwScriptObjects* store = FindScriptObjects(script)) store->AllowWrites = allowed;
}

}  // namespace pagewright
