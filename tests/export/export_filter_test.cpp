#include "export/export_filter.h"

#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "export/export_classes.h"
#include "export/image_export.h"
#include "export/pdf_export.h"
#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/properties.h"
#include "platform/safe_output.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "support/resources.h"

namespace pagewright {
namespace {

namespace fs = std::filesystem;

using test_support::TempDir;

// "Name=value" for every published property the class adds to the filter base, in order.
std::vector<std::string> OwnPropertiesWithValues(const TPersistent& obj) {
  std::vector<std::string> out;
  const TClassInfo& base = TpgwBaseDialogExportFilter::StaticClassInfo();
  for (const TPropInfo* p : obj.ClassInfo().Properties()) {
    if (base.FindProperty(p->Name())) continue;
    const TPropValue v = p->Get(obj);
    std::string text;
    switch (v.Kind) {
      case TPropValue::pvBoolean:
        text = v.Int ? "True" : "False";
        break;
      case TPropValue::pvEnum:
        text = p->Enum()->Name(v.Int);
        break;
      case TPropValue::pvSet:
        text = Utf16ToUtf8(SetToString(*p->Enum(), v.Bits));
        break;
      case TPropValue::pvString:
        text = "'" + Utf16ToUtf8(v.Str) + "'";
        break;
      default:
        text = std::to_string(v.Int);
    }
    EXPECT_TRUE(!p->HasDefault() || p->IsDefaultValue(obj)) << p->Name() << " is not at its declared default";
    out.push_back(p->Name() + "=" + text);
  }
  return out;
}

TEST(ExportFilterSettings, FilterBaseDefaults) {
  auto pdf = TpgwCustomExportFilter::CreateNoRegister<TpgwPDFExport>();
  std::vector<std::string> names;
  for (const TPropInfo* p : TpgwCustomExportFilter::StaticClassInfo().Properties())
    names.push_back(p->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"Name", "Tag", "ExportNotPrintable", "FileName", "ShowDialog",
                                             "UseFileCache", "DefaultPath", "ShowProgress", "OverwritePrompt",
                                             "CreationTime", "DataOnly", "IOTransport"}));
  EXPECT_TRUE(pdf->ShowDialog());
  EXPECT_TRUE(pdf->UseFileCache());
  EXPECT_TRUE(pdf->ShowProgress());
  EXPECT_FALSE(pdf->SlaveExport() || pdf->OverwritePrompt() || pdf->Terminated() || pdf->CurPage());
  EXPECT_EQ(pdf->Files(), nullptr);
  EXPECT_EQ(pdf->IOTransport(), nullptr);
  EXPECT_EQ(pdf->DefaultExt(), u".pdf");
  EXPECT_EQ(pdf->FilterDesc(), u"Adobe PDF file (*.pdf)|*.pdf");
  EXPECT_EQ(pdf->GetDescription(), u"PDF file");
}

TEST(ExportFilterSettings, PdfPublishedPropertiesAndDefaults) {
  TpgwPDFExport pdf(nullptr);
  EXPECT_EQ(OwnPropertiesWithValues(pdf),
            (std::vector<std::string>{"Compressed=True",
                                      "EmbeddedFonts=False",
                                      "EmbedFontsIfProtected=False",
                                      "PrintOptimized=False",
                                      "Outline=False",
                                      "Background=False",
                                      "HTMLTags=True",
                                      "Quality=95",
                                      "Transparency=True",
                                      "Title=''",
                                      "Author='Pagewright'",
                                      "Subject='Pagewright PDF export'",
                                      "Keywords=''",
                                      "Creator='Pagewright'",
                                      "Producer=''",
                                      "UserPassword=''",
                                      "OwnerPassword=''",
                                      "ProtectionFlags=[ePrint,eModify,eCopy,eAnnot]",
                                      "EncryptionMethod=peRC4_128",
                                      "HideToolbar=False",
                                      "HideMenubar=False",
                                      "HideWindowUI=False",
                                      "FitWindow=False",
                                      "CenterWindow=False",
                                      "PrintScaling=False",
                                      "PdfA=False",
                                      "PDFStandard=psNone",
                                      "PDFVersion=pv17",
                                      "InteractiveForms=False",
                                      "InteractiveFormsFontSubset='A-Z,a-z,0-9,#43-#47 '",
                                      "SaveOriginalImages=True",
                                      "PictureDPI=0",
                                      "CurvePrecision=2",
                                      "UsePNGAlpha=True",
                                      "OpenAfterExport=False"}));
  // Passwords are bytes: a property value keeps each code unit up to 255 as one byte.
  SetPropValue(pdf, "UserPassword", TPropValue::String(u"ab\u00E9"));
  EXPECT_EQ(pdf.UserPassword(), "ab\xE9");
}

TEST(ExportFilterSettings, JpegPublishedPropertiesAndDefaults) {
  TpgwJPEGExport jpeg(nullptr);
  EXPECT_EQ(OwnPropertiesWithValues(jpeg),
            (std::vector<std::string>{"JPEGQuality=90", "CropImages=False", "Monochrome=False"}));
  // OverwritePrompt is published again and keeps its place among the base's properties.
  EXPECT_EQ(jpeg.ClassInfo().FindProperty("OverwritePrompt")->Index(),
            TpgwCustomExportFilter::StaticClassInfo().FindProperty("OverwritePrompt")->Index());
  EXPECT_EQ(&jpeg.ClassInfo().FindProperty("OverwritePrompt")->DeclaringClass(), &jpeg.ClassInfo());
  EXPECT_TRUE(jpeg.SeparateFiles());
  EXPECT_FALSE(jpeg.OpenAfterExport());
  EXPECT_EQ(jpeg.Resolution(), 96);
  EXPECT_EQ(jpeg.PicFormatName(), "JPG");
  EXPECT_EQ(jpeg.DefaultExt(), u".jpg");
  EXPECT_EQ(jpeg.FilterDesc(), u"Jpeg image (*.jpg)|*.jpg");
  EXPECT_EQ(jpeg.GetDescription(), u"JPEG image");
  // The raster export's own not-printable flag hides the base's published one.
  jpeg.SetExportNotPrintable(true);
  EXPECT_FALSE(GetPropValue(jpeg, "ExportNotPrintable").Int);
}

TEST(ExportFilterSettings, ShowDialogIsBothDialogOptions) {
  TpgwJPEGExport f(nullptr);
  f.SetShowDialog(false);
  EXPECT_TRUE(f.ShowDialogOptions().Empty());
  f.SetShowDialogOptions({doShowSaveDialog});
  EXPECT_FALSE(f.ShowDialog());
  f.SetShowDialog(true);
  EXPECT_EQ(f.ShowDialogOptions(), (TpgwShowDialogOptions{doShowExportSettings, doShowSaveDialog}));
}

TEST(ExportFilterRegistry, RegisteredUnlessCreatedWithoutRegistration) {
  const int before = ExportFilters().Count();
  {
    TpgwPDFExport registered(nullptr);
    auto unregistered = TpgwCustomExportFilter::CreateNoRegister<TpgwJPEGExport>();
    EXPECT_EQ(ExportFilters().Count(), before + 1);
    EXPECT_GE(ExportFilters().IndexOf(&registered), 0);
    EXPECT_LT(ExportFilters().IndexOf(unregistered.get()), 0);
    TpgwJPEGExport next(nullptr);  // the no-registration request applied to one filter only
    EXPECT_GE(ExportFilters().IndexOf(&next), 0);
  }
  EXPECT_EQ(ExportFilters().Count(), before);
}

TEST(ExportFilterRegistry, StartUpRegistersTheFilterClasses) {
  RegisterExportClasses();
  for (const char* name : {"TpgwPDFExport", "TpgwJPEGExport", "TpgwIOTransportFile"}) {
    std::unique_ptr<TPersistent> obj = ClassRegistry().Create(name);
    ASSERT_NE(obj, nullptr) << name;
    EXPECT_EQ(obj->ClassName(), name);
  }
  EXPECT_FALSE(ClassRegistry().Get("TpgwCustomExportFilter").CanCreate());
}

TEST(ExportFileName, DefaultPathCompletesANameWithoutFolder) {
  struct Case {
    const char16_t* fileName;
    const char16_t* defaultPath;
    const char16_t* expected;
  };
  for (const Case& c :
       {Case{u"label.pdf", u"out", u"out/label.pdf"}, Case{u"label.pdf", u"out/", u"out/label.pdf"},
        Case{u"sub/label.pdf", u"out", u"sub/label.pdf"}, Case{u"label.pdf", u"", u"label.pdf"},
        Case{u"", u"out", u""}}) {
    TpgwPDFExport f(nullptr);
    f.SetFileName(c.fileName);
    f.SetDefaultPath(c.defaultPath);
    f.BeforeStart();
    EXPECT_EQ(f.FileName(), c.expected) << Utf16ToUtf8(c.fileName) << " in " << Utf16ToUtf8(c.defaultPath);
  }
}

TEST(ExportFileName, SlaveExportInventsATemporaryName) {
  TpgwPDFExport f(nullptr);
  f.SetSlaveExport(true);
  f.BeforeStart();
  const std::string name = Utf16ToUtf8(f.FileName());
  EXPECT_EQ(name.rfind(GetTempDir(), 0), 0u) << name;
  EXPECT_EQ(ExtractFileExt(name), ".pdf");
  EXPECT_FALSE(FileExists(name));
}

TEST(ExportPageSelection, SelectsPagesByNumberAndRange) {
  struct Case {
    const char16_t* text;
    int pageCount;
    std::vector<int> pages;
  };
  for (const Case& c : {Case{u"", 3, {1, 2, 3}}, Case{u"1,3-4", 5, {1, 3, 4}}, Case{u"2-", 5, {2, 3, 4, 5}},
                        Case{u"p1, x3-4", 5, {1, 3, 4}}, Case{u"7,0,2", 5, {2}}, Case{u"4-9", 5, {4, 5}},
                        Case{u"99999999999999999999", 5, {}}, Case{u"1,,2", 2, {1, 2}}}) {
    EXPECT_EQ(SelectedPages(c.text, c.pageCount), c.pages) << Utf16ToUtf8(c.text);
  }
}

TEST(ExportTransport, DefaultTransportIsTheFileTransportAndFreshPerRequest) {
  TpgwPDFExport f(nullptr);
  f.SetShowDialog(false);
  TpgwCustomIOTransport* first = f.DefaultIOTransport();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->ClassName(), "TpgwIOTransportFile");
  EXPECT_EQ(first->GetDescription(), u"File");
  EXPECT_EQ(f.DefaultIOTransport(), first);
  f.SetIOTransport(first);
  f.SetDefaultIOTransport(nullptr);
  EXPECT_EQ(f.IOTransport(), nullptr);  // no pointer to the released transport survives
}

TEST(ExportTransport, WritesUnderTheBaseFolderAndMakesFolderNodesOnDisk) {
  TempDir dir;
  TpgwPDFExport f(nullptr);
  const std::string base = dir.path.string() + "/";
  f.SetFileName(Utf8ToUtf16(base + "label.pdf"));
  TpgwCustomIOTransport* t = f.DefaultIOTransport();
  t->InitFromExport(f);
  EXPECT_EQ(t->BasePath(), Utf8ToUtf16(base));
  EXPECT_EQ(t->FilterAccess(), faWrite);

  TStream* s = t->GetStream();
  ASSERT_NE(s, nullptr);
  s->WriteBuffer("%PDF");
  EXPECT_EQ(t->GetStream(Utf8ToUtf16(base + "label.pdf")), s);  // held under its name
  t->FreeStream(s);
  std::ifstream in(dir.path / "label.pdf");
  std::string text;
  in >> text;
  EXPECT_EQ(text, "%PDF");

  TStream* sub = t->GetStream(Utf8ToUtf16(base + "pages/p1.jpg"));
  ASSERT_NE(sub, nullptr);
  EXPECT_TRUE(fs::is_directory(dir.path / "pages"));
  t->FreeStream(sub);
  t->CloseFilter();
  EXPECT_TRUE(fs::exists(dir.path / "pages" / "p1.jpg"));

  // Each new folder node makes its own level, parents first.
  TStream* deep = t->GetStream(Utf8ToUtf16(base + "a/b/c.jpg"));
  EXPECT_NE(deep, nullptr);
  EXPECT_TRUE(fs::is_directory(dir.path / "a" / "b"));
  t->FreeStream(deep);
  EXPECT_TRUE(fs::exists(dir.path / "a" / "b" / "c.jpg"));
  EXPECT_THROW(t->GetStream(Utf8ToUtf16(base + "folder/")), Exception);
  t->CloseFilter();
}

std::string ReadAll(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::vector<std::string> Listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// An output replaces the previous file only when it is complete: an export that fails or is
// abandoned keeps the previous good file, and no temporary file stays behind.
TEST(ExportTransport, OnlyACompleteOutputReplacesThePreviousFile) {
  TempDir dir;
  const fs::path target = dir.path / "label.pdf";
  std::ofstream(target, std::ios::binary) << "previous good pdf";
  TpgwPDFExport f(nullptr);
  f.SetFileName(Utf8ToUtf16(target.string()));
  TpgwCustomIOTransport* t = f.DefaultIOTransport();
  t->InitFromExport(f);

  enum Ending { kDiscard, kFreeWhileHandling, kCloseFilter, kFree };
  const struct {
    const char* name;
    Ending ending;
    std::string expected;
  } cases[] = {
      {"discarded after a failure", kDiscard, "previous good pdf"},
      {"freed by an error path", kFreeWhileHandling, "previous good pdf"},
      {"abandoned with the filter", kCloseFilter, "previous good pdf"},
      {"freed after success", kFree, "%PDF-new"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TStream* s = t->GetStream();
    ASSERT_NE(s, nullptr);
    s->WriteBuffer("%PDF-new");
    EXPECT_EQ(ReadAll(target), "previous good pdf");
    switch (c.ending) {
      case kDiscard:
        t->DiscardStream(s);
        break;
      case kFreeWhileHandling:
        try {
          throw EWriteError("the page failed");
        } catch (const Exception&) {
          t->FreeStream(s);
        }
        break;
      case kCloseFilter:
        t->CloseFilter();
        break;
      case kFree:
        t->FreeStream(s);
        break;
    }
    EXPECT_EQ(ReadAll(target), c.expected);
    EXPECT_EQ(Listing(dir.path), std::vector<std::string>{"label.pdf"});
  }
}

TEST(ExportTransport, AFullDiskNamesTheFileAndKeepsThePreviousOne) {
  TempDir dir;
  const fs::path target = dir.path / "label.jpg";
  std::ofstream(target, std::ios::binary) << "previous jpeg";
  // In a child with a file size limit, which stands in for a full disk (writes past it fail).
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::string text = "no error";
    try {
      TpgwJPEGExport f(nullptr);
      f.SetFileName(Utf8ToUtf16(target.string()));
      TpgwCustomIOTransport* t = f.DefaultIOTransport();
      t->InitFromExport(f);
      TStream* s = t->GetStream();
      try {
        s->WriteBuffer(std::string(100000, 'j'));
      } catch (const Exception&) {
        t->DiscardStream(s);
        throw;
      }
      t->FreeStream(s);
    } catch (const Exception& e) {
      text = std::string(e.ClassName()) + ": " + e.Message();
    }
    (void)!write(fds[1], text.data(), text.size());
    _exit(0);
  }
  close(fds[1]);
  std::string text;
  char buf[512];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(text, "EWriteError: " + target.string() + ": File too large");
  EXPECT_EQ(ReadAll(target), "previous jpeg");
  EXPECT_EQ(Listing(dir.path), std::vector<std::string>{"label.jpg"});
}

TEST(ExportTransport, MissingOutputFolderRaisesAndCreatesNothing) {
  TempDir dir;
  TpgwJPEGExport f(nullptr);
  const std::string name = (dir.path / "scratch" / "label.1.jpg").string();
  f.SetFileName(Utf8ToUtf16(name));
  TpgwCustomIOTransport* t = f.DefaultIOTransport();
  t->InitFromExport(f);
  try {
    t->GetStream(Utf8ToUtf16(name));
    ADD_FAILURE() << "no error for a missing folder";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(std::string(e.Message()).rfind("Cannot create file \"" + name + "\".", 0), 0u) << e.Message();
  }
  EXPECT_FALSE(fs::exists(dir.path / "scratch"));
}

TEST(ExportTransport, CloneIsAnUnregisteredCopyOfTheSameClass) {
  auto original = std::make_unique<TpgwIOTransportFile>(nullptr);
  original->SetDefaultPath(u"out");
  original->SetFileName(u"out/label.pdf");
  original->SetDefaultExt(u".pdf");
  original->SetOverwritePrompt(true);
  std::unique_ptr<TpgwCustomIOTransport> clone = original->CreateFilterClone(fvExport);
  EXPECT_EQ(clone->ClassName(), "TpgwIOTransportFile");
  EXPECT_EQ(clone->CreatedFrom(), fvExport);
  EXPECT_EQ(clone->FileName(), u"out/label.pdf");
  EXPECT_EQ(clone->DefaultPath(), u"out");
  EXPECT_EQ(clone->DefaultExt(), u".pdf");
  EXPECT_TRUE(clone->OverwritePrompt());
  EXPECT_EQ(clone->OriginalCopy(), original.get());
  original.reset();
  EXPECT_EQ(clone->OriginalCopy(), nullptr);
}

TEST(ExportOpenAfterExport, OpensTheFileOrTheFirstNumberedOne) {
  TempDir dir;
  std::vector<std::string> opened;
  TpgwJPEGExport f(nullptr);
  f.OnOpenFile = [&](const std::string& name) { opened.push_back(name); };
  f.SetFileName(Utf8ToUtf16((dir.path / "label.jpg").string()));
  f.AfterFinish();  // the default leaves the file alone
  f.SetOpenAfterExport(true);
  f.AfterFinish();  // one file per page: the first page's file
  std::ofstream(dir.path / "label.jpg") << "x";
  f.AfterFinish();
  TMemoryStream memory;
  f.SetStream(&memory);
  f.AfterFinish();  // written to a caller's stream: nothing to open
  EXPECT_EQ(f.ShowModal(), 1);
  EXPECT_EQ(opened, (std::vector<std::string>{(dir.path / "label.1.jpg").string(),
                                              (dir.path / "label.jpg").string()}));
}

}  // namespace
}  // namespace pagewright
