// Limits that hold on a host's small worker-thread stack: deep templates, expressions and scripts
// end in an error, never in a crash, on a thread of 512 KB.
#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/exceptions.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "report/report.h"
#include "startup/startup.h"

namespace pagewright {
namespace {

// Runs `work` on a thread with a stack of `bytes` and waits for it.
void OnSmallStack(size_t bytes, const std::function<void()>& work) {
  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, bytes), 0);
  pthread_t thread;
  auto body = [](void* arg) -> void* {
    (*static_cast<const std::function<void()>*>(arg))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, body, const_cast<std::function<void()>*>(&work)), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

std::string Nested(int levels) {
  std::string s = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<TpgwReport><TpgwReportPage Name=\"Page1\">"
                  "<TpgwReportTitle Name=\"T\" Height=\"100\">";
  for (int i = 0; i < levels; ++i) s += "<TpgwMemoView Name=\"M" + std::to_string(i) + "\" Width=\"10\" Height=\"10\">";
  for (int i = 0; i < levels; ++i) s += "</TpgwMemoView>";
  return s + "</TpgwReportTitle></TpgwReportPage></TpgwReport>\n";
}

TEST(SmallStack, DeepInputFailsWithAnErrorOnAThreadOf512KB) {
  InitializeEngine();
  struct Case {
    const char* what;
    std::function<std::string()> run;  // what the report said; empty when it succeeded
  } cases[] = {
      {"a template nested 995 levels",
       [] {
         std::unique_ptr<TpgwReport> report = CreateReport();
         report->EngineOptions().SetSilentMode(true);
         TMemoryStream xml;
         xml.WriteBuffer(Nested(995));
         xml.SetPosition(0);
         try {
           report->LoadFromStream(xml);
           // Instrumented builds stop in the reader already (larger frames), others later.
           if (report->Errors().Count() > 0) return Utf16ToUtf8(report->Errors()[0]);
           if (report->PrepareReport(true) && report->Errors().Count() == 0) return std::string();
         } catch (const Exception& e) {
           return e.Message();
         }
         return report->Errors().Count() ? Utf16ToUtf8(report->Errors()[0]) : std::string("not prepared");
       }},
      {"an expression nested 3000 levels",
       [] {
         std::unique_ptr<TpgwReport> report = CreateReport();
         try {
           report->Calc(Utf8ToUtf16(std::string(3000, '(') + "1" + std::string(3000, ')')));
         } catch (const Exception& e) {
           return e.Message();
         }
         return std::string();
       }},
  };
  for (const Case& c : cases) {
    std::string said = "(the thread did not run)";
    OnSmallStack(512 * 1024, [&] { said = c.run(); });
    EXPECT_NE(said.find("too deep"), std::string::npos) << c.what << ": " << said;
  }
}

}  // namespace
}  // namespace pagewright
