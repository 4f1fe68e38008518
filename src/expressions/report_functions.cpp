#include "expressions/report_functions.h"

#include <string>
#include <vector>

#include "data/data_set.h"
#include "expressions/report_classes.h"
#include "expressions/report_expressions.h"
#include "expressions/script_engine_objects.h"
#include "platform/format.h"
#include "platform/properties.h"
#include "platform/unicode.h"
#include "report/component.h"
#include "report/memo_view.h"
#include "report/report.h"
#include "report/variables.h"

namespace pagewright {

namespace {

const Variant& Param(const std::vector<Variant>& params, size_t i) {
  static const Variant empty;
  return i < params.size() ? params[i] : empty;
}

// Date parts as the date's text in that format, read back as a number.
Variant DatePart(const WideString& format, const Variant& date) {
  return Variant(StrToInt(FormatDateTime(format, date.AsDateTime())));
}

void AddEnumerations(TvmScript& s) {
  s.AddEnum(u"TpgwStretchMode", u"smDontStretch, smActualHeight, smMaxHeight");
  s.AddEnum(u"TpgwShiftMode", u"smDontShift, smAlways, smWhenOverlapped");
  s.AddEnum(u"TpgwDuplexMode", u"dmNone, dmVertical, dmHorizontal, dmSimplex");
  s.AddEnum(u"TpgwAlign", u"baNone, baLeft, baRight, baCenter, baWidth, baBottom, baClient, baHidden");
  s.AddEnum(u"TpgwFrameStyle", u"fsSolid, fsDash, fsDot, fsDashDot, fsDashDotDot, fsDouble");
  s.AddEnumSet(u"TpgwFrameTypes", u"ftLeft, ftRight, ftTop, ftBottom");
  s.AddEnumSet(u"TpgwAnchors", u"fraLeft, fraTop, fraRight, fraBottom");
  s.AddEnum(u"TpgwHAlign", u"haLeft, haRight, haCenter, haBlock");
  s.AddEnum(u"TpgwVAlign", u"vaTop, vaBottom, vaCenter");
  s.AddEnumSet(
      u"TpgwRestrictions",
      u"rfDontModify, rfDontSize, rfDontMove, rfDontDelete, rfDontEdit, rfDontEditInPreview, rfDontCopy");
  s.AddEnum(u"TpgwShapeKind",
            u"skRectangle, skRoundRectangle, skEllipse, skTriangle, skDiamond, skDiagonal1, skDiagonal2");
  s.AddEnumSet(
      u"TpgwPreviewButtons",
      u"pbPrint, pbLoad, pbSave, pbExport, pbZoom, pbFind, pbOutline, pbPageSetup, pbTools, pbEdit, "
      u"pbNavigator, pbExportQuick, pbNoClose, pbNoFullScreen, pbNoEmail, pbCopy, pbPaste, pbSelection, "
      u"pbWatermarks");
  s.AddEnum(u"TpgwZoomMode", u"zmDefault, zmWholePage, zmPageWidth, zmManyPages");
  s.AddEnum(u"TpgwPrintPages", u"ppAll, ppOdd, ppEven");
  s.AddEnum(u"TpgwRangeBegin", u"rbFirst, rbCurrent");
  s.AddEnum(u"TpgwRangeEnd", u"reLast, reCurrent, reCount");
  s.AddEnum(u"TpgwFieldType", u"fftNumeric, fftString, fftBoolean");
  s.AddEnum(u"TpgwFormatKind", u"fkText, fkNumeric, fkDateTime, fkBoolean");
  s.AddEnum(u"TpgwFillType", u"ftBrush, ftGradient, ftGlass");
  s.AddEnum(u"TpgwPrintMode", u"pmDefault, pmSplit, pmJoin, pmScale");
  s.AddEnumSet(u"TpgwVisibilityTypes", u"vsPreview, vsExport, vsPrint");
  s.AddEnum(u"TpgwUnderlinesTextMode",
            u"ulmNone, ulmUnderlinesAll, ulmUnderlinesText, ulmUnderlinesTextAndEmptyLines");
  s.AddEnum(u"TpgwHyperlinkKind",
            u"hkURL, hkAnchor, hkPageNumber, hkDetailReport, hkDetailPage, hkCustom, hkNone");
  s.AddEnum(
      u"TpgwProcessAtMode",
      u"paDefault, paReportFinished, paReportPageFinished, paPageFinished, paColumnFinished, paDataFinished, "
      u"paGroupFinished, paCustom");
  s.AddEnum(u"TPDFSignatureKind", u"skInvisible, skVisible, skEmpty");
  s.AddEnum(u"TpgwDataLinkProcessing", u"dpString, dpExpression");
  s.AddEnum(u"TpgwDataLinkLoading", u"dltOnGetData, dltOnPreview");
}

void AddReportClass(TvmScript& s) {
  TvmClassVariable* cls = s.AddClassChain(TpgwReport::StaticClassInfo());
  if (!cls) return;
  cls->AddMethod(u"function Calc(const Expr: String): Variant",
                 [](TPersistent* obj, TvmClassVariable*, const WideString&, std::vector<Variant>& p) {
                   auto* r = dynamic_cast<TpgwReport*>(obj);
                   return r ? CalcExpression(*r, VarToStr(Param(p, 0)), nullptr, ccReportCalc)
                            : Variant::Null();
                 });
  cls->AddMethod(u"function GetDataset(const Alias: String): TpgwDataset",
                 [](TPersistent* obj, TvmClassVariable*, const WideString&, std::vector<Variant>& p) {
                   auto* r = dynamic_cast<TpgwReport*>(obj);
                   TComponent* ds = r ? r->GetDataset(VarToStr(Param(p, 0))) : nullptr;
                   return ds ? Variant::FromObject(ds) : Variant::Null();
                 });
  cls->AddProperty(u"Variables", u"TpgwVariables",
                   [](TPersistent* obj, TvmClassVariable*, const WideString&) {
                     auto* r = dynamic_cast<TpgwReport*>(obj);
                     return r ? Variant::FromObject(&r->Variables()) : Variant::Null();
                   });
  cls->AddProperty(
      u"Terminated", u"Boolean",
      [](TPersistent* obj, TvmClassVariable*, const WideString&) {
        auto* r = dynamic_cast<TpgwReport*>(obj);
        return Variant(r && r->Terminated());
      },
      // A script ends the run by setting it.
      [](TPersistent* obj, TvmClassVariable*, const WideString&, const Variant& v) {
        if (auto* r = dynamic_cast<TpgwReport*>(obj)) r->SetTerminated(v.AsBoolean());
      });
}

void AddVariablesClass(TvmScript& s) {
  TvmClassVariable* cls = s.AddClassChain(TpgwVariables::StaticClassInfo());
  if (!cls) return;
  cls->AddDefaultProperty(
      u"Variables", u"String", u"Variant",
      [](TPersistent* obj, TvmClassVariable*, const WideString& name, std::vector<Variant>& p) {
        auto* vars = dynamic_cast<TpgwVariables*>(obj);
        if (!vars) return Variant::Null();
        const WideString key = VarToStr(Param(p, 0));
        if (name.size() > 4 && name.substr(name.size() - 4) == u".SET")
          vars->SetVariable(key, Param(p, 1));
        else
          return vars->GetVariable(key);
        return Variant::Null();
      });
}

void AddDataSetClass(TvmScript& s) {
  TvmClassVariable* cls = s.AddClassChain(TpgwDataSet::StaticClassInfo());
  if (!cls) return;
  auto call = [](TPersistent* obj, TvmClassVariable*, const WideString& name,
                 std::vector<Variant>& p) -> Variant {
    auto* ds = dynamic_cast<TpgwDataSet*>(obj);
    if (!ds) return Variant::Null();
    const WideString arg = VarToStr(Param(p, 0));
    if (name == u"OPEN")
      ds->Open();
    else if (name == u"CLOSE")
      ds->Close();
    else if (name == u"FIRST")
      ds->First();
    else if (name == u"NEXT")
      ds->Next();
    else if (name == u"PRIOR")
      ds->Prior();
    else if (name == u"EOF")
      return Variant(ds->Eof());
    else if (name == u"FIELDSCOUNT")
      return Variant(static_cast<int32_t>(ds->FieldsCount()));
    else if (name == u"HASFIELD")
      return Variant(ds->HasField(arg));
    else if (name == u"ISBLOBFIELD")
      return Variant(ds->IsBlobField(arg));
    else if (name == u"RECORDCOUNT")
      return Variant(static_cast<int32_t>(ds->RecordCount()));
    else if (name == u"DISPLAYTEXT.GET")
      return Variant(ds->DisplayText(arg));
    else if (name == u"DISPLAYWIDTH.GET")
      return Variant(static_cast<int32_t>(ds->DisplayWidth(arg)));
    else if (name == u"FIELDTYPE.GET")
      return Variant(static_cast<int32_t>(ds->FieldType(arg)));
    else if (name == u"VALUE.GET")
      return ds->Value(arg);
    return Variant::Null();
  };
  for (const char16_t* m :
       {u"procedure Open", u"procedure Close", u"procedure First", u"procedure Next", u"procedure Prior",
        u"function Eof: Boolean", u"function FieldsCount: Integer",
        u"function HasField(const fName: String): Boolean",
        u"function IsBlobField(const fName: String): Boolean", u"function RecordCount: Integer"})
    cls->AddMethod(m, call);
  cls->AddProperty(u"RecNo", u"Integer", [](TPersistent* obj, TvmClassVariable*, const WideString&) {
    auto* ds = dynamic_cast<TpgwDataSet*>(obj);
    return Variant(static_cast<int32_t>(ds ? ds->RecNo() : 0));
  });
  cls->AddIndexProperty(u"DisplayText", u"String", u"String", call, true);
  cls->AddIndexProperty(u"DisplayWidth", u"String", u"Integer", call, true);
  cls->AddIndexProperty(u"FieldType", u"String", u"TpgwFieldType", call, true);
  cls->AddIndexProperty(u"Value", u"String", u"Variant", call, true);
}

void AddComponentClass(TvmScript& s) {
  TvmClassVariable* cls = s.AddClassChain(TpgwComponent::StaticClassInfo());
  if (!cls) return;
  cls->AddMethod(u"function FindObject(s: String): TpgwComponent",
                 [](TPersistent* obj, TvmClassVariable*, const WideString&, std::vector<Variant>& p) {
                   auto* c = dynamic_cast<TpgwComponent*>(obj);
                   TpgwComponent* found = c ? c->FindObject(VarToStr(Param(p, 0))) : nullptr;
                   return found ? Variant::FromObject(found) : Variant::Null();
                 });
  cls->AddProperty(u"Parent", u"TpgwComponent", [](TPersistent* obj, TvmClassVariable*, const WideString&) {
    auto* c = dynamic_cast<TpgwComponent*>(obj);
    return c && c->Parent() ? Variant::FromObject(c->Parent()) : Variant::Null();
  });
}

void AddViewClasses(TvmScript& s) {
  if (TvmClassVariable* view = s.AddClassChain(TpgwView::StaticClassInfo()))
    view->AddProperty(
        u"TagStr", u"String",
        [](TPersistent* obj, TvmClassVariable*, const WideString&) {
          auto* v = dynamic_cast<TpgwView*>(obj);
          return v ? Variant(v->TagStr()) : Variant::Null();
        },
        [](TPersistent* obj, TvmClassVariable*, const WideString&, const Variant& value) {
          if (auto* v = dynamic_cast<TpgwView*>(obj)) v->SetTagStr(VarToStr(value));
        });
  TvmClassVariable* memo = s.AddClassChain(TpgwCustomMemoView::StaticClassInfo());
  if (!memo) return;
  memo->AddMethod(u"function CalcWidth: Extended",
                  [](TPersistent* obj, TvmClassVariable*, const WideString&, std::vector<Variant>&) {
                    auto* m = dynamic_cast<TpgwCustomMemoView*>(obj);
                    return m ? Variant(m->CalcWidth()) : Variant::Null();
                  });
  memo->AddProperty(
      u"Text", u"String",
      [](TPersistent* obj, TvmClassVariable*, const WideString&) {
        auto* m = dynamic_cast<TpgwCustomMemoView*>(obj);
        return m ? Variant(m->Text()) : Variant::Null();
      },
      [](TPersistent* obj, TvmClassVariable*, const WideString&, const Variant& value) {
        if (auto* m = dynamic_cast<TpgwCustomMemoView*>(obj)) m->SetText(VarToStr(value));
      });
  memo->AddProperty(
      u"Value", u"Variant",
      [](TPersistent* obj, TvmClassVariable*, const WideString&) {
        auto* m = dynamic_cast<TpgwCustomMemoView*>(obj);
        return m ? m->Value() : Variant::Null();
      },
      [](TPersistent* obj, TvmClassVariable*, const WideString&, const Variant& value) {
        if (auto* m = dynamic_cast<TpgwCustomMemoView*>(obj)) m->SetValue(value);
      });
}

}  // namespace

TpgwReportFunctions::TpgwReportFunctions(TvmScript* script) : TvmRTTIModule(script) {
  TvmScript& s = *script;
  s.AddConst(u"pw01cm", u"Extended", Variant(3.77953L));
  s.AddConst(u"pw1cm", u"Extended", Variant(37.7953L));
  s.AddConst(u"pw01in", u"Extended", Variant(9.6L));
  s.AddConst(u"pw1in", u"Extended", Variant(96.0L));
  s.AddConst(u"pw1CharX", u"Extended", Variant(9.6L));
  s.AddConst(u"pw1CharY", u"Extended", Variant(17.0L));
  s.AddConst(u"clTransparent", u"Integer", Variant(536870911));
  s.AddConst(u"crHand", u"Integer", Variant(150));
  s.AddConst(u"crZoom", u"Integer", Variant(151));
  s.AddConst(u"crFormat", u"Integer", Variant(152));
  AddEnumerations(s);

  // Every registered class with its published properties, then the members scripts call.
  AddScriptBaseClasses(s);
  AddEngineClasses(s);
  AddComponentClass(s);
  AddViewClasses(s);
  for (const TClassInfo* cls : ClassRegistry().Classes()) s.AddClassChain(*cls);
  AddReportClass(s);
  AddDataSetClass(s);
  AddVariablesClass(s);
  AddReportClassMembers(s);
  s.AddObject(u"pgwGlobalVariables", &pgwGlobalVariables());

  auto datePart = [](TPersistent*, TvmClassVariable*, const WideString& name, std::vector<Variant>& p) {
    const WideString upper = name;
    if (upper == u"DAYOF") return DatePart(u"d", Param(p, 0));
    if (upper == u"MONTHOF") return DatePart(u"m", Param(p, 0));
    return DatePart(u"yyyy", Param(p, 0));
  };
  s.AddMethod(u"function DayOf(Date: TDateTime): Integer", datePart, u"ctDate");
  s.AddMethod(u"function MonthOf(Date: TDateTime): Integer", datePart, u"ctDate");
  s.AddMethod(u"function YearOf(Date: TDateTime): Integer", datePart, u"ctDate");
}

std::unique_ptr<TvmRTTIModule> MakeReportFunctions(TvmScript* script) {
  return std::make_unique<TpgwReportFunctions>(script);
}

}  // namespace pagewright
