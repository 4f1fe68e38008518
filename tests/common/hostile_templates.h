// Broken and hostile variants of the label template, with the error line each must give. The
// label program and `pagewright tree` are both run over this table.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace pagewright::test_support {

inline std::string LabelTemplateBytes() {
  std::ifstream f(PW_TEST_DATA_DIR "/../../examples/label/reportes/EtiquetaVelmo.pw3", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// The template with the first `from` replaced by `to`; throws when `from` is not there, so a
// changed template cannot turn a case into a copy of the good one.
inline std::string LabelTemplateWith(const std::string& from, const std::string& to) {
  std::string bytes = LabelTemplateBytes();
  const size_t at = bytes.find(from);
  if (at == std::string::npos) throw std::runtime_error("not in the label template: " + from);
  return bytes.replace(at, from.size(), to);
}

// The first `lines` lines of the template.
inline std::string LabelTemplateLines(int lines) {
  const std::string bytes = LabelTemplateBytes();
  size_t end = 0;
  for (int i = 0; i < lines; ++i) end = bytes.find('\n', end) + 1;
  return bytes.substr(0, end);
}

struct HostileTemplate {
  const char* name;
  std::string bytes;
  // The error line after "<template path>: "; with `prefixOnly`, how it starts.
  std::string error;
  bool prefixOnly = false;
};

inline std::vector<HostileTemplate> HostileTemplates() {
  std::mt19937 random(17);  // fixed: the same bytes on every run
  std::string noise(64 * 1024, '\0');
  for (char& c : noise) c = static_cast<char>(random() & 0xFF);
  const std::string proveedorDir = "Name=\"MemoProveedorDir\"";  // the element on line 13
  return {
      {"empty file", "", "Invalid file format"},
      {"random bytes", noise, "Invalid file format"},
      {"cut inside a tag", LabelTemplateBytes().substr(0, 3000), "Invalid file format"},
      {"cut after a whole element", LabelTemplateLines(12),
       "The template ends before all its elements are closed"},
      {"bad character reference in Name", LabelTemplateWith(proveedorDir, "Name=\"Memo&#;Dir\""),
       "line 13: <TpgwMemoView>: Name: '&#;' is not a valid character reference"},
      {"bad character reference in Text",
       LabelTemplateWith(proveedorDir, proveedorDir + " Text=\"a&#12a;b\""),
       "line 13: <TpgwMemoView Name=\"MemoProveedorDir\">: Text: '&#12a;' is not a valid character "
       "reference"},
      {"number that is no number", LabelTemplateWith(proveedorDir, proveedorDir + " Left=\"abc\""),
       "line 13: <TpgwMemoView Name=\"MemoProveedorDir\">: Left: 'abc' is not a valid floating point value"},
      {"coordinate beyond any paper", LabelTemplateWith(proveedorDir, proveedorDir + " Width=\"1e63\""),
       "line 13: <TpgwMemoView Name=\"MemoProveedorDir\">: Width: '1e63' is out of range (-50000 to 50000); the "
       "attribute is ignored"},
      {"negative coordinate beyond any paper", LabelTemplateWith(proveedorDir, proveedorDir + " Left=\"-1E+9\""),
       "line 13: <TpgwMemoView Name=\"MemoProveedorDir\">: Left: '-1E+9' is out of range (-50000 to 50000); the "
       "attribute is ignored"},
      {"paper of eight metres", LabelTemplateWith("PaperHeight=\"148\"", "PaperHeight=\"8000\""),
       "line 7: <TpgwReportPage Name=\"Page1\">: PaperHeight: '8000' is out of range (0 to 5080); the attribute "
       "is ignored"},
      {"two objects with one name",
       LabelTemplateWith("Name=\"MemoEntregaLinea2\"", "Name=\"MemoEntregaLinea1\""),
       "line 18: <TpgwMemoView Name=\"MemoEntregaLinea1\">: Name: the name MemoEntregaLinea1 is already "
       "used by another object; this one is named Memo1"},
      {"attribute of a megabyte",
       LabelTemplateWith(proveedorDir, proveedorDir + " Font.Height=\"" + std::string(1 << 20, '9') + "\""),
       "line 13: <TpgwMemoView Name=\"MemoProveedorDir\">: Font.Height: '999", true},
  };
}

}  // namespace pagewright::test_support
