#include "expressions/script_engine_objects.h"

#include <string>
#include <vector>

#include "expressions/report_classes.h"
#include "expressions/report_expressions.h"
#include "platform/exceptions.h"
#include "platform/properties.h"
#include "platform/unicode.h"
#include "platform/variant.h"
#include "report/bands.h"
#include "report/report.h"
#include "report/services.h"
#include "script/interpreter.h"

namespace pagewright {

IpgwRunningEngine& TpgwScriptEngineObject::Running() const {
  IpgwRunningEngine* engine = FReport.RunningEngine();
  if (!engine)
    throw Exception("The report is not running: the engine, its outline and its pages exist only then");
  return *engine;
}

const TClassInfo& TpgwScriptEngine::StaticClassInfo() {
  static const TClassInfo& info = Describe<TpgwScriptEngine>("TpgwEngine").Parent<TPersistent>().Build();
  return info;
}
const TClassInfo& TpgwScriptEngine::ClassInfo() const {
  return StaticClassInfo();
}

const TClassInfo& TpgwScriptOutline::StaticClassInfo() {
  static const TClassInfo& info = Describe<TpgwScriptOutline>("TpgwOutline").Parent<TPersistent>().Build();
  return info;
}
const TClassInfo& TpgwScriptOutline::ClassInfo() const {
  return StaticClassInfo();
}

const TClassInfo& TpgwScriptPreviewPages::StaticClassInfo() {
  static const TClassInfo& info =
      Describe<TpgwScriptPreviewPages>("TpgwPreviewPages").Parent<TPersistent>().Build();
  return info;
}
const TClassInfo& TpgwScriptPreviewPages::ClassInfo() const {
  return StaticClassInfo();
}

const TClassInfo& TpgwScriptPostProcessor::StaticClassInfo() {
  static const TClassInfo& info =
      Describe<TpgwScriptPostProcessor>("TpgwPostProcessor").Parent<TPersistent>().Build();
  return info;
}
const TClassInfo& TpgwScriptPostProcessor::ClassInfo() const {
  return StaticClassInfo();
}

namespace {

const Variant& Param(const std::vector<Variant>& params, size_t i) {
  static const Variant empty;
  return i < params.size() ? params[i] : empty;
}

IpgwRunningEngine& EngineOf(TPersistent* obj) {
  auto* o = dynamic_cast<TpgwScriptEngineObject*>(obj);
  if (!o) throw Exception("Not an engine object");
  return o->Running();
}

// A read-only property whose value the engine gives.
template <class F>
void Getter(TvmClassVariable* cls, const char16_t* name, const char16_t* type, F get) {
  cls->AddProperty(name, type, [get](TPersistent* obj, TvmClassVariable*, const WideString&) {
    return get(EngineOf(obj));
  });
}

void AddPostProcessorClass(TvmScript& s) {
  TvmClassVariable* cls = s.AddClass(u"TpgwPostProcessor", u"TPersistent");
  if (!cls) return;
  auto call = [](TPersistent* obj, TvmClassVariable*, const WideString& name,
                 std::vector<Variant>& p) -> Variant {
    IpgwRunningEngine& e = EngineOf(obj);
    if (name == u"GETMACROLIST") {
      const Variant& v = Param(p, 0);
      TStringList* list = ScriptStringList(v.IsObject() ? v.AsObject() : nullptr);
      if (!list) throw Exception("GetMacroList needs a string list");
      e.PostProcessorMacroList(*list);
    } else if (name == u"RESETDUPLICATES") {
      e.ResetPostProcessorDuplicates(VarToStr(Param(p, 0)));
    }
    return Variant::Null();
  };
  cls->AddMethod(u"procedure GetMacroList(List: TStrings)", call);
  cls->AddMethod(u"procedure ResetDuplicates(BandName: String = '')", call);
}

void AddEngineClass(TvmScript& s) {
  TvmClassVariable* custom = s.AddClass(u"TpgwCustomEngine", u"TPersistent");
  if (!custom) return;
  auto call = [](TPersistent* obj, TvmClassVariable*, const WideString& name,
                 std::vector<Variant>& p) -> Variant {
    IpgwRunningEngine& e = EngineOf(obj);
    if (name == u"NEWPAGE") {
      e.NewPage();
    } else if (name == u"NEWCOLUMN") {
      e.NewColumn();
    } else if (name == u"STOPREPORT") {
      e.StopReport();
    } else if (name == u"FREESPACE") {
      return Variant(e.FreeSpace());
    } else if (name == u"SHOWBAND") {
      auto* band = dynamic_cast<TpgwBand*>(Param(p, 0).AsObject());
      if (!band) throw Exception("ShowBand needs a band");
      e.PrintBand(band);
    } else if (name == u"ADDANCHOR") {
      e.AddAnchor(VarToStr(Param(p, 0)));
    } else if (name == u"GETANCHORPAGE") {
      return Variant(static_cast<int32_t>(e.GetAnchorPage(VarToStr(Param(p, 0)))));
    } else if (name == u"PROCESSOBJECT") {
      const Variant& v = Param(p, 0);
      auto* c = dynamic_cast<TpgwComponent*>(v.IsObject() ? v.AsObject() : nullptr);
      if (!c) throw Exception("ProcessObject needs a report object");
      e.ProcessObject(c);
    } else if (name == u"GETPOSTPROCESSOR") {
      return Variant::FromObject(
          &ReportScript(static_cast<TpgwScriptEngineObject*>(obj)->Report()).PostProcessorObject());
    }
    return Variant::Null();
  };
  for (const char16_t* m :
       {u"procedure NewPage", u"procedure NewColumn", u"procedure StopReport",
        u"function FreeSpace: Extended", u"procedure ShowBand(Band: TpgwBand)",
        u"procedure AddAnchor(const Text: String)", u"function GetAnchorPage(const Text: String): Integer",
        u"procedure ProcessObject(ReportObject: TpgwComponent)",
        u"function GetPostProcessor: TpgwPostProcessor"})
    custom->AddMethod(m, call);
  custom->AddProperty(
      u"CurX", u"Extended",
      [](TPersistent* obj, TvmClassVariable*, const WideString&) { return Variant(EngineOf(obj).CurX()); },
      [](TPersistent* obj, TvmClassVariable*, const WideString&, const Variant& v) {
        EngineOf(obj).SetCurX(v.AsExtended());
      });
  custom->AddProperty(
      u"CurY", u"Extended",
      [](TPersistent* obj, TvmClassVariable*, const WideString&) { return Variant(EngineOf(obj).CurY()); },
      [](TPersistent* obj, TvmClassVariable*, const WideString&, const Variant& v) {
        EngineOf(obj).SetCurY(v.AsExtended());
      });
  Getter(custom, u"CurLine", u"Integer",
         [](IpgwRunningEngine& e) { return Variant(static_cast<int32_t>(e.CurLine())); });
  Getter(custom, u"CurColumn", u"Integer",
         [](IpgwRunningEngine& e) { return Variant(static_cast<int32_t>(e.CurColumn())); });
  Getter(custom, u"PageNo", u"Integer",
         [](IpgwRunningEngine& e) { return Variant(static_cast<int32_t>(e.PageNo())); });
  Getter(custom, u"TotalPages", u"Integer",
         [](IpgwRunningEngine& e) { return Variant(static_cast<int32_t>(e.TotalPages())); });
  Getter(custom, u"PageHeight", u"Extended", [](IpgwRunningEngine& e) { return Variant(e.PageHeight()); });
  Getter(custom, u"PageWidth", u"Extended", [](IpgwRunningEngine& e) { return Variant(e.PageWidth()); });
  Getter(custom, u"FinalPass", u"Boolean", [](IpgwRunningEngine& e) { return Variant(e.FinalPass()); });
  s.AddClass(u"TpgwEngine", u"TpgwCustomEngine");
}

void AddOutlineClass(TvmScript& s) {
  TvmClassVariable* custom = s.AddClass(u"TpgwCustomOutline", u"TPersistent");
  if (!custom) return;
  auto call = [](TPersistent* obj, TvmClassVariable*, const WideString& name,
                 std::vector<Variant>& p) -> Variant {
    IpgwRunningEngine& e = EngineOf(obj);
    if (name == u"ADDITEM")
      e.AddOutlineItem(VarToStr(Param(p, 0)));
    else if (name == u"LEVELROOT")
      e.OutlineLevelRoot();
    else if (name == u"LEVELUP")
      e.OutlineLevelUp();
    return Variant::Null();
  };
  for (const char16_t* m :
       {u"procedure AddItem(const Text: String)", u"procedure LevelRoot", u"procedure LevelUp"})
    custom->AddMethod(m, call);
  s.AddClass(u"TpgwOutline", u"TpgwCustomOutline");
}

void AddPreviewPagesClass(TvmScript& s) {
  TvmClassVariable* custom = s.AddClass(u"TpgwCustomPreviewPages", u"TPersistent");
  if (!custom) return;
  Getter(custom, u"Count", u"Integer",
         [](IpgwRunningEngine& e) { return Variant(static_cast<int32_t>(e.PreparedPageCount())); });
  Getter(custom, u"CurPage", u"Integer",
         [](IpgwRunningEngine& e) { return Variant(static_cast<int32_t>(e.CurPreparedPage())); });
  // A page is a copy the script keeps: the store's own pages come and go with its cache. A
  // changed object of such a copy is written back with ModifyObject.
  custom->AddIndexProperty(
      u"Page", u"Integer", u"TpgwReportPage",
      [](TPersistent* obj, TvmClassVariable*, const WideString&, std::vector<Variant>& p) {
        IpgwRunningEngine& e = EngineOf(obj);
        const int index = Param(p, 0).AsInteger();
        std::unique_ptr<TpgwComponent> page = e.PreparedPageCopy(index);
        if (!page) throw Exception("PreviewPages.Page: there is no prepared page " + std::to_string(index));
        TvmScript& script = ReportScript(static_cast<TpgwScriptEngineObject*>(obj)->Report()).Script();
        return Variant::FromObject(KeepScriptPage(script, std::move(page), index));
      },
      true);
  custom->AddMethod(u"procedure ModifyObject(Component: TpgwComponent)",
                    [](TPersistent* obj, TvmClassVariable*, const WideString&, std::vector<Variant>& p) {
                      IpgwRunningEngine& e = EngineOf(obj);
                      const Variant& v = Param(p, 0);
                      auto* c = dynamic_cast<TpgwComponent*>(v.IsObject() ? v.AsObject() : nullptr);
                      if (!c) throw Exception("PreviewPages.ModifyObject needs a report object");
                      TpgwComponent* page = c->TopParent() ? c->TopParent() : c;
                      TvmScript& script =
                          ReportScript(static_cast<TpgwScriptEngineObject*>(obj)->Report()).Script();
                      const int index = ScriptPageIndex(script, page);
                      if (index < 0)
                        throw Exception("PreviewPages.ModifyObject: " + Utf16ToUtf8(c->Name()) +
                                        " is not an object of a page taken from PreviewPages.Page");
                      e.ReplacePreparedPageObjects(index, *page);
                      return Variant::Null();
                    });
  s.AddClass(u"TpgwPreviewPages", u"TpgwCustomPreviewPages");
}

}  // namespace

void AddEngineClasses(TvmScript& script) {
  AddPostProcessorClass(script);
  AddEngineClass(script);
  AddOutlineClass(script);
  AddPreviewPagesClass(script);
}

}  // namespace pagewright
