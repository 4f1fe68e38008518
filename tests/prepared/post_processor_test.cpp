// Deferred and duplicate-aware text instances of prepared pages.
#include "prepared/post_processor.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/service_doubles.h"
#include "platform/unicode.h"
#include "report/memo_view.h"
#include "report/report.h"

namespace pagewright {
namespace {

// Four rows print one text object; each row's instance goes through the store as the engine
// stores it, then the rebuilt page loads them back. Equal neighbours are recognised by mode.
TEST(PostProcessor, EqualNeighbouringRowsAreHiddenClearedOrMergedByDuplicates) {
  struct Case {
    TpgwDuplicateMerge mode;
    std::vector<const char16_t*> rows;
    std::vector<bool> hidden;
    std::vector<std::u16string> shown;
    Extended firstHeight;
  } cases[] = {
      {dmShow, {u"A", u"A", u"A", u"A"}, {false, false, false, false}, {u"A", u"A", u"A", u"A"}, 10},
      {dmHide, {u"A", u"A", u"A", u"A"}, {false, true, true, true}, {u"A", u"A", u"A", u"A"}, 10},
      {dmClear, {u"A", u"A", u"A", u"A"}, {false, false, false, false}, {u"A", u"", u"", u""}, 10},
      {dmMerge, {u"A", u"A", u"A", u"A"}, {false, true, true, true}, {u"A", u"A", u"A", u"A"}, 40},
      {dmHide, {u"A", u"B", u"B", u"A"}, {false, false, true, false}, {u"A", u"B", u"B", u"A"}, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mode));
    TpgwReport report{TpgwReportServices{}};
    TpgwPostProcessor store;
    std::vector<std::unique_ptr<TpgwMemoView>> rows;
    for (size_t i = 0; i < c.rows.size(); ++i) {
      auto memo = std::make_unique<TpgwMemoView>(nullptr);
      memo->SetBounds(0, 10 * static_cast<Extended>(i), 50, 10);
      memo->SetDuplicates(c.mode);
      memo->SetText(c.rows[i]);
      const int index = store.Add(u"MasterData1", u"Memo1", c.rows[i], paDefault, *memo, true);
      ASSERT_GE(index, 0);
      memo->SetText(Utf8ToUtf16(std::to_string(index)));
      rows.push_back(std::move(memo));
    }
    TpgwMacrosItem* item = store.Find(u"Memo1");
    ASSERT_NE(item, nullptr);
    for (size_t i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(rows[i]->LoadContentFromDictionary(report, *item), c.hidden[i]) << i;
      EXPECT_EQ(Utf16ToUtf8(rows[i]->Text()), Utf16ToUtf8(c.shown[i].empty() ? u"" : c.shown[i] + u"\r\n"))
          << i;
    }
    EXPECT_EQ(static_cast<double>(rows[0]->Height()), static_cast<double>(c.firstHeight));
  }
}

// A value computed later keeps an instance per row, even when the texts are equal now.
TEST(PostProcessor, DeferredValuesKeepAnInstanceEach) {
  TpgwMemoView memo(nullptr);
  TpgwPostProcessor store;
  EXPECT_EQ(store.Add(u"B", u"Memo1", u"0", paReportFinished, memo, true), 0);
  EXPECT_EQ(store.Add(u"B", u"Memo1", u"0", paReportFinished, memo, true), 1);
  EXPECT_EQ(store.PendingCount(), 2);
}

}  // namespace
}  // namespace pagewright
