// Evaluates arbitrary bytes (UTF-8) as a template expression in the scope of a small report, as
// a text object's "[...]" would: report variables, objects by name, system variables and the
// report functions are all there. With the first byte odd the expression is also put in a text
// object of the report between brackets and the report is prepared, so that the text object's
// expansion and the aggregates run it for every row.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_report.h"
#include "platform/exceptions.h"
#include "platform/unicode.h"
#include "report/memo_view.h"

using namespace pagewright;

namespace {
constexpr const char* kReport = R"(<?xml version="1.0" encoding="utf-8" standalone="no"?>
<TpgwReport ReportOptions.Name="Expressions">
  <Variables>
    <item Name=" Totals"/>
    <item Name="Rate" Value="1.25"/>
    <item Name="Title" Value="&#39;Pick list&#39;"/>
    <item Name="Count" Value="Rate * 4"/>
  </Variables>
  <TpgwReportPage Name="Page1" PaperWidth="100" PaperHeight="80" LeftMargin="5" RightMargin="5" TopMargin="5" BottomMargin="5">
    <TpgwReportTitle Name="ReportTitle1" Height="20" Left="0" Top="0" Width="340">
      <TpgwMemoView Name="Memo1" Left="0" Top="0" Width="340" Height="18" Text="[Title]"/>
    </TpgwReportTitle>
    <TpgwMasterData Name="MasterData1" Height="20" Left="0" Top="30" Width="340" RowCount="3">
      <TpgwMemoView Name="Memo2" Left="0" Top="0" Width="200" Height="18" Text="[Line#]"/>
      <TpgwMemoView Name="Memo3" Left="200" Top="0" Width="140" Height="18" Text="[Rate]" DisplayFormat.FormatStr="%2.2f" DisplayFormat.Kind="fkNumeric"/>
    </TpgwMasterData>
    <TpgwReportSummary Name="ReportSummary1" Height="20" Left="0" Top="80" Width="340">
      <TpgwMemoView Name="Memo4" Left="0" Top="0" Width="340" Height="18" Text="[SUM(&#60;Rate&#62;,MasterData1)]"/>
    </TpgwReportSummary>
  </TpgwReportPage>
</TpgwReport>)";
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 4096) return 0;
  const uint8_t mode = data[0];
  const std::string text(kReport);
  std::unique_ptr<TpgwReport> report =
      fuzz::LoadBoundedReport(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  if (!report || report->Errors().Count() > 0) __builtin_trap();  // the fixed report must load
  const WideString expr = Utf8ToUtf16(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
  try {
    (void)VarToStr(report->Calc(expr));
  } catch (const Exception&) {
  }
  if (mode & 1) {
    auto* memo = dynamic_cast<TpgwCustomMemoView*>(report->FindObject(u"Memo2"));
    if (!memo) __builtin_trap();
    memo->SetText(u"[" + expr + u"]");
    fuzz::PrepareBounded(*report);
  }
  return 0;
}
