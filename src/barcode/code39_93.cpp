// Code 39 and Code 93, each plain and in the full-ASCII (extended) form.
#include "barcode/symbologies.h"

#include <vector>

#include "barcode/barcode_tables.h"

namespace pagewright::barcode_encoding {

namespace {

using namespace barcode_tables;

std::string Code39Pattern(EncodingJob& job, const std::string& data) {
  std::string out;
  std::string_view chars(kCode39Chars);
  AppendFlags(out, kCode39Star);
  out += '0';
  int sum = 0;
  job.EncodedText.clear();
  for (char c : data) {
    size_t v = chars.find(c);
    if (v == std::string_view::npos) continue;  // not in the symbology: skipped
    AppendFlags(out, kCode39[v]);
    out += '0';
    sum += static_cast<int>(v);
    job.EncodedText += c;
  }
  if (job.CheckSum) {
    AppendFlags(out, kCode39[sum % 43]);
    out += '0';
    job.EncodedText += chars[sum % 43];
  }
  AppendFlags(out, kCode39Star);
  return out;
}

std::string Code93Pattern(EncodingJob& job, const std::string& data) {
  std::string_view chars(kCode93Chars);
  std::vector<int> values;
  values.reserve(data.size() + 2);
  for (char c : data) {
    size_t v = chars.find(c);
    if (v == std::string_view::npos) Fail("%s:Code93 bad Data <%s>", job.ClassName, job.Text);
    values.push_back(static_cast<int>(v));
  }
  auto weighted = [&](int maxWeight) {
    long long sum = 0;
    int w = 1;
    for (size_t i = values.size(); i-- > 0;) {
      sum += static_cast<long long>(w) * values[i];
      w = w == maxWeight ? 1 : w + 1;
    }
    return static_cast<int>(sum % 47);
  };
  values.push_back(weighted(20));
  values.push_back(weighted(15));
  std::string widths = kCode93Start;
  for (int v : values) widths += kCode93[v];
  widths += kCode93Stop;
  std::string out;
  AppendWidths(out, widths, true);
  job.EncodedText = data;
  return out;
}

}  // namespace

std::string EncodeCode39(EncodingJob& job) {
  return Code39Pattern(job, job.Text);
}

std::string EncodeCode39Extended(EncodingJob& job) {
  std::string data;
  for (unsigned char c : job.Text) {
    if (c < 128)
      data += kFullAscii[c];
    else
      data += static_cast<char>(c);
  }
  return Code39Pattern(job, data);
}

std::string EncodeCode93(EncodingJob& job) {
  return Code93Pattern(job, job.Text);
}

std::string EncodeCode93Extended(EncodingJob& job) {
  std::string data;
  for (unsigned char c : job.Text) {
    if (c >= 128) {
      data += static_cast<char>(c);
      continue;
    }
    if (c != ' ' && std::string_view(kCode93Chars, 43).find(static_cast<char>(c)) != std::string_view::npos) {
      data += static_cast<char>(c);  // the basic characters, "$" "%" "+" "/" included, stand for themselves
      continue;
    }
    const char* pair = kFullAscii[c];
    switch (pair[0]) {
      case '$':
        data += pair[1] ? ']' : '$';
        break;
      case '%':
        data += pair[1] ? '[' : '%';
        break;
      case '/':
        data += pair[1] ? '{' : '/';
        break;
      case '+':
        data += pair[1] ? '}' : '+';
        break;
      default:
        data += pair[0];
        break;
    }
    if (pair[1]) data += pair[1];
  }
  return Code93Pattern(job, data);
}

}  // namespace pagewright::barcode_encoding
