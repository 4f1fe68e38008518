#include "platform/mem_table.h"

#include <gtest/gtest.h>

#include "common/label_record.h"

#include <memory>
#include <string>
#include <vector>

#include "platform/exceptions.h"
#include "platform/format.h"

namespace pagewright {
namespace {

template <class F>
std::string Raised(F&& f) {
  try {
    f();
  } catch (const Exception& e) {
    return std::string(e.ClassName()) + ": " + e.Message();
  }
  return "";
}

using test_support::kLabel;
using test_support::LabelField;

std::unique_ptr<TMemTable> LabelTable() {
  auto t = std::make_unique<TMemTable>();
  for (const auto& f : kLabel) t->FieldDefs().Add(f.name, f.type, f.size, false);
  t->CreateDataSet();
  t->Append();
  for (const auto& f : kLabel) {
    if (f.type == ftString)
      t->FieldByName(f.name).SetAsString(f.text);
    else
      t->FieldByName(f.name).SetAsInteger(f.number);
  }
  t->Post();
  return t;
}

TEST(MemTable, HoldsTheLabelRecord) {
  auto t = LabelTable();
  ASSERT_EQ(t->Fields().Count(), 20);
  EXPECT_EQ(t->State(), dsBrowse);
  EXPECT_EQ(t->RecordCount(), 1);
  EXPECT_EQ(t->RecNo(), 1);
  EXPECT_FALSE(t->Eof());
  for (int i = 0; i < 20; ++i) {
    const LabelField& want = kLabel[i];
    TField& f = t->Fields()[i];
    EXPECT_EQ(f.FieldName(), want.name);
    EXPECT_EQ(f.DataType(), want.type);
    EXPECT_EQ(f.Size(), want.size);
    EXPECT_FALSE(f.Required());
    EXPECT_FALSE(f.IsNull()) << i;
    if (want.type == ftString) {
      EXPECT_EQ(f.AsString(), want.text);
      EXPECT_EQ(f.AsWideString(), want.text);
      EXPECT_STREQ(f.ClassName(), "TStringField");
      EXPECT_EQ(f.DisplayWidth(), want.size);
    } else {
      EXPECT_EQ(f.AsInteger(), want.number);
      EXPECT_EQ(f.AsString(), IntToStr(want.number));
      EXPECT_EQ(f.DisplayText(), IntToStr(want.number));
      EXPECT_STREQ(f.ClassName(), "TIntegerField");
    }
  }
  // The empty string is a value, not null.
  EXPECT_FALSE(t->FieldByName(u"proveedor_operador").IsNull());
  EXPECT_EQ(t->FieldByName(u"proveedor_operador").AsString(), u"");
  EXPECT_EQ(t->FieldByName(u"destino_linea1").AsString(), t->FieldByName(u"lugar_entrega_linea1").AsString());
  EXPECT_FALSE(t->FieldByName(u"proveedor_operador").AsVariant().IsNull());
  EXPECT_EQ(t->FieldByName(u"proveedor_operador").AsVariant().AsString(), u"");
  Variant bultos = t->FieldByName(u"total_bultos").AsVariant();
  EXPECT_EQ(bultos.VarType(), varInteger);
  EXPECT_EQ(bultos.AsInteger(), 58);
  // Lookup ignores case; FindField answers null, FieldByName raises.
  EXPECT_EQ(&t->FieldByName(u"BULTO_NUM"), &t->Fields()[16]);
  EXPECT_EQ(t->FindField(u"Sscc"), &t->Fields()[18]);
  EXPECT_EQ(t->FindField(u"nope"), nullptr);
  EXPECT_EQ(Raised([&] { t->FieldByName(u"nope"); }), "EDatabaseError: Field 'nope' not found");
  std::vector<WideString> names;
  t->GetFieldNames(names);
  EXPECT_EQ(names.size(), 20u);
  EXPECT_EQ(names[19], u"barcode_ia00");
}

TEST(MemTable, FieldsConvertLikeTheRuntimesFieldClasses) {
  TMemTable t;
  t.FieldDefs().Add(u"s", ftString, 5);
  t.FieldDefs().Add(u"w", ftWideString, 0);  // size 0: 20 characters
  t.FieldDefs().Add(u"i", ftInteger);
  t.FieldDefs().Add(u"sm", ftSmallint);
  t.FieldDefs().Add(u"wd", ftWord);
  t.FieldDefs().Add(u"big", ftLargeint);
  t.FieldDefs().Add(u"f", ftFloat);
  t.FieldDefs().Add(u"cur", ftCurrency);
  t.FieldDefs().Add(u"bcd", ftBCD);
  t.FieldDefs().Add(u"b", ftBoolean);
  t.FieldDefs().Add(u"d", ftDate);
  t.FieldDefs().Add(u"dt", ftDateTime);
  t.CreateDataSet();
  t.Append();
  auto F = [&](const char16_t* n) -> TField& { return t.FieldByName(n); };

  F(u"s").SetAsString(u"abcdefg");  // cut to the size
  EXPECT_EQ(F(u"s").AsString(), u"abcde");
  EXPECT_EQ(F(u"w").Size(), 20);
  EXPECT_STREQ(F(u"w").ClassName(), "TWideStringField");
  F(u"s").SetAsInteger(-42);
  EXPECT_EQ(F(u"s").AsString(), u"-42");
  EXPECT_EQ(F(u"s").AsInteger(), -42);
  F(u"s").SetAsString(u"54/58");
  EXPECT_EQ(Raised([&] { F(u"s").AsInteger(); }), "EConvertError: '54/58' is not a valid integer value");
  F(u"s").SetAsBoolean(true);
  EXPECT_EQ(F(u"s").AsString(), u"T");
  EXPECT_TRUE(F(u"s").AsBoolean());
  F(u"s").SetAsString(u"1.5");
  EXPECT_EQ(F(u"s").AsFloat(), 1.5);

  F(u"i").SetAsString(u"0003");
  EXPECT_EQ(F(u"i").AsInteger(), 3);
  EXPECT_EQ(F(u"i").AsFloat(), 3.0);
  EXPECT_EQ(Raised([&] { F(u"i").SetAsString(u"12abc"); }),
            "EConvertError: '12abc' is not a valid integer value");
  EXPECT_EQ(Raised([&] { F(u"i").AsBoolean(); }), "EDatabaseError: Cannot access field 'i' as type Boolean");
  EXPECT_EQ(Raised([&] { F(u"i").AsDateTime(); }),
            "EDatabaseError: Cannot access field 'i' as type DateTime");
  F(u"i").SetAsFloat(2.5);  // rounds halves to even
  EXPECT_EQ(F(u"i").AsInteger(), 2);
  F(u"i").SetAsString(u"");  // empty text clears a number
  EXPECT_TRUE(F(u"i").IsNull());
  EXPECT_EQ(F(u"i").AsInteger(), 0);
  EXPECT_EQ(F(u"i").AsString(), u"");

  EXPECT_EQ(
      Raised([&] { F(u"sm").SetAsInteger(40000); }),
      "EDatabaseError: 40000 is not a valid value for field 'sm'. The allowed range is -32768 to 32767");
  EXPECT_EQ(Raised([&] { F(u"wd").SetAsInteger(-1); }),
            "EDatabaseError: -1 is not a valid value for field 'wd'. The allowed range is 0 to 65535");
  F(u"big").SetAsLargeInt(int64_t{1} << 40);
  EXPECT_EQ(F(u"big").AsString(), u"1099511627776");
  EXPECT_STREQ(F(u"big").ClassName(), "TLargeintField");

  F(u"f").SetAsFloat(0.1);
  EXPECT_EQ(F(u"f").AsString(), u"0.1");
  EXPECT_EQ(F(u"f").AsInteger(), 0);
  F(u"cur").SetAsFloat(1234.5);
  EXPECT_EQ(F(u"cur").AsString(), u"1234.5");
  EXPECT_EQ(F(u"cur").DisplayText(), u"$1,234.50");
  F(u"bcd").SetAsString(u"12.34567");  // four decimals kept
  EXPECT_EQ(F(u"bcd").AsCurrency(), 12.3457);
  EXPECT_STREQ(F(u"bcd").ClassName(), "TBCDField");

  F(u"b").SetAsString(u"tr");
  EXPECT_TRUE(F(u"b").AsBoolean());
  EXPECT_EQ(F(u"b").AsString(), u"True");
  F(u"b").SetAsString(u"f");
  EXPECT_EQ(F(u"b").DisplayText(), u"False");
  EXPECT_EQ(Raised([&] { F(u"b").SetAsString(u"yes"); }),
            "EDatabaseError: 'yes' is not a valid boolean value for field 'b'");

  F(u"d").SetAsDateTime(EncodeDate(2024, 3, 5));
  EXPECT_EQ(F(u"d").AsString(), u"3/5/2024");
  F(u"dt").SetAsString(u"3/5/2024 1:02:03 PM");
  EXPECT_EQ(F(u"dt").AsDateTime(), EncodeDate(2024, 3, 5) + EncodeTime(13, 2, 3, 0));
  EXPECT_EQ(F(u"dt").AsString(), u"3/5/2024 1:02:03 PM");
  EXPECT_EQ(F(u"dt").DisplayWidth(), 10);

  // A field's own text handler changes the display text only.
  F(u"f").SetOnGetText([](const TField& f, WideString& text, bool) { text = u"<" + f.AsString() + u">"; });
  EXPECT_EQ(F(u"f").DisplayText(), u"<0.1>");
  EXPECT_EQ(F(u"f").AsString(), u"0.1");
  t.Post();
}

TEST(MemTable, NullsAndEmptyStringsDiffer) {
  TMemTable t;
  t.FieldDefs().Add(u"s", ftString, 10);
  t.FieldDefs().Add(u"n", ftInteger);
  t.FieldDefs().Add(u"req", ftString, 10, true);
  t.CreateDataSet();
  t.Append();
  EXPECT_TRUE(t.FieldByName(u"s").IsNull());
  EXPECT_TRUE(t.FieldByName(u"n").IsNull());
  t.FieldByName(u"s").SetAsString(u"");
  EXPECT_FALSE(t.FieldByName(u"s").IsNull());
  EXPECT_EQ(Raised([&] { t.Post(); }), "EDatabaseError: Field 'req' must have a value");
  EXPECT_EQ(t.State(), dsInsert);
  t.FieldByName(u"req").SetAsString(u"x");
  t.Post();
  EXPECT_FALSE(t.FieldByName(u"s").IsNull());
  EXPECT_TRUE(t.FieldByName(u"n").IsNull());
  t.Edit();
  t.FieldByName(u"s").Clear();
  t.Post();
  EXPECT_TRUE(t.FieldByName(u"s").IsNull());
  EXPECT_EQ(t.FieldByName(u"s").AsString(), u"");
  EXPECT_TRUE(t.FieldByName(u"s").AsVariant().IsNull());
  t.Edit();
  t.FieldByName(u"n").SetAsVariant(Variant(7));
  EXPECT_EQ(t.FieldByName(u"n").AsVariant().AsInteger(), 7);
  t.FieldByName(u"n").SetAsVariant(Variant::Null());
  EXPECT_TRUE(t.FieldByName(u"n").IsNull());
  t.Post();
  // A closed data set has no current record.
  t.Close();
  EXPECT_TRUE(t.FieldByName(u"req").IsNull());
}

std::unique_ptr<TMemTable> Numbers(int count) {
  auto t = std::make_unique<TMemTable>();
  t->FieldDefs().Add(u"n", ftInteger);
  t->CreateDataSet();
  for (int i = 1; i <= count; ++i) {
    t->Append();
    t->FieldByName(u"n").SetAsInteger(i);
    t->Post();
  }
  t->First();
  return t;
}

TEST(MemTable, Navigation) {
  auto t = Numbers(3);
  auto n = [&] { return t->FieldByName(u"n").AsInteger(); };
  EXPECT_TRUE(t->Bof());
  EXPECT_FALSE(t->Eof());
  EXPECT_EQ(n(), 1);
  std::vector<int> seen;
  for (t->First(); !t->Eof(); t->Next()) seen.push_back(n());
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(t->RecNo(), 3);  // stays on the last record
  t->Prior();
  EXPECT_EQ(n(), 2);
  EXPECT_FALSE(t->Eof());
  t->Prior();
  t->Prior();
  EXPECT_TRUE(t->Bof());
  EXPECT_EQ(n(), 1);
  t->Last();
  EXPECT_TRUE(t->Eof());
  EXPECT_EQ(n(), 3);
  EXPECT_EQ(t->MoveBy(-5), -2);
  EXPECT_TRUE(t->Bof());
  t->SetRecNo(2);
  EXPECT_EQ(n(), 2);
  EXPECT_EQ(Raised([&] { t->SetRecNo(4); }), "EDatabaseError: Record not found");

  // Insert goes before the current record, Append at the end.
  t->Insert();
  EXPECT_EQ(t->RecNo(), 0);
  t->FieldByName(u"n").SetAsInteger(10);
  t->Post();
  t->Append();
  t->FieldByName(u"n").SetAsInteger(20);
  t->Next();  // moving posts a changed record
  seen.clear();
  for (t->First(); !t->Eof(); t->Next()) seen.push_back(n());
  EXPECT_EQ(seen, (std::vector<int>{1, 10, 2, 3, 20}));

  // Cancel drops the changes; Delete moves on to the next record.
  t->SetRecNo(2);
  t->Edit();
  t->FieldByName(u"n").SetAsInteger(99);
  t->Cancel();
  EXPECT_EQ(n(), 10);
  t->Delete();
  EXPECT_EQ(n(), 2);
  EXPECT_EQ(t->RecordCount(), 4);

  auto empty = Numbers(0);
  EXPECT_TRUE(empty->Eof());
  EXPECT_TRUE(empty->Bof());
  EXPECT_EQ(empty->RecNo(), 0);
  EXPECT_TRUE(empty->FieldByName(u"n").IsNull());
  EXPECT_EQ(Raised([&] { empty->Delete(); }),
            "EDatabaseError: Cannot perform this operation on an empty dataset");
  empty->Edit();  // on an empty data set: a new record
  EXPECT_EQ(empty->State(), dsInsert);
}

TEST(MemTable, Bookmarks) {
  auto t = Numbers(4);
  t->SetRecNo(3);
  TBookmark third = t->GetBookmark();
  t->First();
  TBookmark first = t->GetBookmark();
  EXPECT_TRUE(t->BookmarkValid(third));
  EXPECT_EQ(t->CompareBookmarks(first, third), -1);
  EXPECT_EQ(t->CompareBookmarks(third, first), 1);
  EXPECT_EQ(t->CompareBookmarks(third, third), 0);
  t->GotoBookmark(third);
  EXPECT_EQ(t->FieldByName(u"n").AsInteger(), 3);
  EXPECT_FALSE(t->Eof());

  // A bookmark follows its record when records are inserted before it.
  t->First();
  t->Insert();
  t->FieldByName(u"n").SetAsInteger(0);
  t->Post();
  t->GotoBookmark(third);
  EXPECT_EQ(t->FieldByName(u"n").AsInteger(), 3);
  EXPECT_EQ(t->RecNo(), 4);

  t->Delete();
  EXPECT_FALSE(t->BookmarkValid(third));
  EXPECT_EQ(Raised([&] { t->GotoBookmark(third); }), "EDatabaseError: Record not found");
  t->FreeBookmark(third);
  EXPECT_TRUE(third.empty());
  EXPECT_FALSE(t->BookmarkValid(third));
  EXPECT_EQ(Raised([&] { t->GotoBookmark(TBookmark{1, 2, 3}); }), "EDatabaseError: Record not found");
}

TEST(MemTable, BlobStreamsRoundTrip) {
  TMemTable t;
  t.FieldDefs().Add(u"data", ftBlob);
  t.FieldDefs().Add(u"memo", ftMemo);
  t.FieldDefs().Add(u"wmemo", ftWideMemo);
  t.FieldDefs().Add(u"s", ftString, 10);
  t.CreateDataSet();
  TField& data = t.FieldByName(u"data");
  TField& wmemo = t.FieldByName(u"wmemo");
  EXPECT_STREQ(t.FieldByName(u"memo").ClassName(), "TMemoField");
  EXPECT_STREQ(wmemo.ClassName(), "TWideMemoField");
  EXPECT_TRUE(data.IsBlob());
  EXPECT_EQ(wmemo.BlobType(), ftWideMemo);
  EXPECT_EQ(t.FieldByName(u"s").BlobType(), ftUnknown);

  const std::string bytes("\x00\x01\xFF\x7F\x00z", 6);
  t.Append();
  EXPECT_EQ(t.FieldByName(u"memo").DisplayText(), u"(memo)");
  {
    auto w = t.CreateBlobStream(data, bmWrite);
    w->WriteBuffer(bytes.data(), 3);
    w->WriteBuffer(bytes.data() + 3, 3);
  }
  wmemo.SetAsString(u"Almac\u00E9n \u20AC");
  t.FieldByName(u"memo").SetAsString(u"l\u00EDnea 1\r\nl\u00EDnea 2");
  t.Post();

  auto r = t.CreateBlobStream(data, bmRead);
  EXPECT_EQ(r->Size(), 6);
  EXPECT_EQ(r->ReadToEnd(), bytes);
  EXPECT_EQ(data.AsBytes(), bytes);
  EXPECT_EQ(data.DisplayText(), u"(BLOB)");
  EXPECT_EQ(t.FieldByName(u"memo").DisplayText(), u"(MEMO)");
  EXPECT_EQ(t.FieldByName(u"memo").AsString(), u"l\u00EDnea 1\r\nl\u00EDnea 2");
  TMemoryStream saved;
  wmemo.SaveToStream(saved);
  EXPECT_EQ(saved.Size(), 2 * 9);  // UTF-16LE
  EXPECT_EQ(wmemo.AsString(), u"Almac\u00E9n \u20AC");

  // Read-write appends to what is there; writing outside Edit/Insert is refused.
  EXPECT_EQ(Raised([&] { t.CreateBlobStream(data, bmWrite); }),
            "EDatabaseError: Dataset not in edit or insert mode");
  EXPECT_EQ(Raised([&] { r->WriteBuffer("x", 1); }), "EWriteError: Stream write error");
  t.Edit();
  {
    auto rw = t.CreateBlobStream(data, bmReadWrite);
    rw->Seek(0, soEnd);
    rw->WriteBuffer("!", 1);
  }
  t.Post();
  EXPECT_EQ(data.AsBytes(), bytes + "!");
  // Positions far out neither wrap nor allocate without bounds.
  t.Edit();
  {
    auto rw = t.CreateBlobStream(data, bmReadWrite);
    EXPECT_EQ(Raised([&] { rw->Seek(INT64_MAX, soEnd); }), "EStreamError: Invalid stream position");
    rw->Seek(INT64_MAX - 1, soBeginning);
    EXPECT_EQ(Raised([&] { rw->WriteBuffer("x", 1); }), "EOutOfMemory: Out of memory");
  }
  t.Cancel();
  EXPECT_EQ(data.AsBytes(), bytes + "!");
  EXPECT_EQ(Raised([&] { t.CreateBlobStream(t.FieldByName(u"s"), bmRead); }),
            "EDatabaseError: Cannot access field 's' as type Blob");
}

TEST(MemTable, StatesErrorsAndEvents) {
  TMemTable t;
  std::vector<std::string> log;
  auto hook = [&](const char* name) { return [&log, name](TDataSet&) { log.push_back(name); }; };
  t.SetBeforeOpen(hook("BeforeOpen"));
  t.SetAfterOpen(hook("AfterOpen"));
  t.SetBeforeClose(hook("BeforeClose"));
  t.SetAfterClose(hook("AfterClose"));
  t.SetAfterScroll(hook("AfterScroll"));
  t.SetBeforePost(hook("BeforePost"));
  t.SetAfterPost(hook("AfterPost"));
  t.SetOnNewRecord(hook("OnNewRecord"));
  t.SetAfterRefresh(hook("AfterRefresh"));
  t.Fields().SetOnChange([&](TFields&) { log.push_back("FieldsChange"); });

  EXPECT_EQ(Raised([&] { t.Open(); }), "EDatabaseError: No fields defined. Cannot create dataset");
  t.FieldDefs().Add(u"n", ftInteger);
  EXPECT_EQ(Raised([&] { t.FieldDefs().Add(u"N", ftString, 5); }),
            "EDatabaseError: Duplicate field name 'N'");
  EXPECT_EQ(Raised([&] { t.FieldDefs().Add(u"v", ftVariant); }),
            "EDatabaseError: Field 'v' is of an unknown type");
  EXPECT_EQ(t.FieldDefs().Find(u"N").DataType(), ftInteger);
  log.clear();
  t.CreateDataSet();
  EXPECT_EQ(log, (std::vector<std::string>{"FieldsChange", "BeforeOpen", "AfterOpen", "AfterScroll"}));
  EXPECT_EQ(Raised([&] { t.FieldByName(u"n").SetAsInteger(1); }),
            "EDatabaseError: Dataset not in edit or insert mode");

  log.clear();
  t.Append();
  t.FieldByName(u"n").SetAsInteger(1);
  t.Post();
  t.Next();  // runs into the end: scrolls once, sets Eof
  t.Next();  // already at the end: nothing happens
  t.Refresh();
  EXPECT_EQ(log, (std::vector<std::string>{"OnNewRecord", "AfterScroll", "BeforePost", "AfterPost",
                                           "AfterScroll", "AfterRefresh"}));

  // An adapter saves a handler, installs its own that chains to it, and restores it.
  TDataSetNotifyEvent saved = t.AfterOpen();
  int adapterCalls = 0;
  t.SetAfterOpen([&](TDataSet& ds) {
    ++adapterCalls;
    if (saved) saved(ds);
  });
  log.clear();
  t.Close();
  EXPECT_FALSE(t.Active());
  EXPECT_EQ(Raised([&] { t.First(); }), "EDatabaseError: Cannot perform this operation on a closed dataset");
  EXPECT_EQ(Raised([&] { t.FieldByName(u"n").SetAsInteger(1); }),
            "EDatabaseError: Cannot perform this operation on a closed dataset");
  t.SetActive(true);  // the records stay while closed
  EXPECT_EQ(t.RecordCount(), 1);
  t.SetAfterOpen(saved);
  EXPECT_EQ(adapterCalls, 1);
  EXPECT_EQ(
      log, (std::vector<std::string>{"BeforeClose", "AfterClose", "BeforeOpen", "AfterOpen", "AfterScroll"}));

  t.DisableControls();
  t.DisableControls();
  t.EnableControls();
  EXPECT_TRUE(t.ControlsDisabled());
  t.EnableControls();
  EXPECT_FALSE(t.ControlsDisabled());
}

}  // namespace
}  // namespace pagewright
