// The Code 128 family: escapes, the automatic code-set choice, symbol values and check
// character, and the preparation of the text by type (sets A, B, C, the EAN128 types, GS1-128).
#include "barcode/symbologies.h"

#include "barcode/barcode_tables.h"
#include "barcode/gs1.h"

namespace pagewright::barcode_encoding {

namespace {

using barcode_tables::kCode128;
using barcode_tables::kCode128Stop;

// A three-character escape at i: "&", one of A B C S 1 2 3 4 (any case), ";".
bool EscapeAt(std::string_view s, size_t i, char& letter) {
  if (i + 2 >= s.size() || s[i] != '&' || s[i + 2] != ';') return false;
  char l = s[i + 1];
  if (l >= 'a' && l <= 'z') l = static_cast<char>(l - 'a' + 'A');
  switch (l) {
    case 'A':
    case 'B':
    case 'C':
    case 'S':
    case '1':
    case '2':
    case '3':
    case '4':
      letter = l;
      return true;
    default:
      return false;
  }
}

bool FncEscapeAt(std::string_view s, size_t i) {
  char l;
  return EscapeAt(s, i, l) && l >= '1' && l <= '4';
}

// "&FNC1;" (any case) becomes "&1;".
std::string ReplaceFnc1(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '&' && i + 5 < s.size() && (s[i + 1] | 0x20) == 'f' && (s[i + 2] | 0x20) == 'n' &&
        (s[i + 3] | 0x20) == 'c' && s[i + 4] == '1' && s[i + 5] == ';') {
      out += "&1;";
      i += 5;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string RemoveEscapes(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  char l;
  for (size_t i = 0; i < s.size(); ++i) {
    if (EscapeAt(s, i, l)) {
      i += 2;
      continue;
    }
    out += s[i];
  }
  return out;
}

enum CodeSet : int { setNone = -1, setA = 0, setB = 1, setC = 2 };

int ValueInSetA(unsigned char c) {
  if (c >= 32 && c <= 95) return c - 32;
  if (c < 32) return c + 64;
  return -1;
}
int ValueInSetB(unsigned char c) {
  return c >= 32 && c <= 126 ? c - 32 : -1;
}

enum CharClass { ccBoth, ccAOnly, ccBOnly };
CharClass ClassOf(unsigned char c) {
  bool a = ValueInSetA(c) >= 0, b = ValueInSetB(c) >= 0;
  if (a && b) return ccBoth;
  if (b) return ccBOnly;
  return ccAOnly;  // also characters in neither set: set A then rejects them
}

// Chooses code sets for plain text: runs of at least four digits (with at least five characters
// left) go to set C in pairs, other characters to set A or B, single characters of the other set
// by SHIFT.
std::string AutoCodeSet(std::string_view in) {
  std::string t;
  t.reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    char l;
    if (EscapeAt(in, i, l) && (l == 'A' || l == 'B' || l == 'C' || l == 'S')) {
      i += 2;
      continue;
    }
    t += in[i];
  }
  const size_t n = t.size();
  auto digitRun = [&](size_t i) {
    size_t j = i;
    while (j < n && IsDigit(t[j])) ++j;
    return j - i;
  };
  auto qualifies = [&](size_t i) {
    if (n - i < 5) return false;
    for (size_t k = 0; k < 4; ++k)
      if (!IsDigit(t[i + k])) return false;
    return true;
  };

  std::string out;
  out.reserve(n + 12);
  int cur = setNone;
  size_t i = 0;
  while (i < n) {
    std::string_view prefix;
    if (FncEscapeAt(t, i)) {
      prefix = std::string_view(t).substr(i, 3);
      i += 3;
    }
    if (i < n && qualifies(i)) {
      size_t run = digitRun(i) & ~size_t{1};
      if (cur == setNone) {
        out += "&C;";
        out += prefix;
      } else {
        out += prefix;
        if (cur != setC) out += "&C;";
      }
      out.append(t, i, run);
      cur = setC;
      i += run;
      continue;
    }
    if (i >= n || FncEscapeAt(t, i)) {  // an FNC with no character of its own after it
      if (cur == setNone) {
        out += "&B;";
        cur = setB;
      }
      out += prefix;
      continue;
    }
    CharClass cls = ClassOf(static_cast<unsigned char>(t[i]));
    size_t j = i + 1;
    while (j < n) {
      if (FncEscapeAt(t, j) || qualifies(j)) break;
      CharClass c2 = ClassOf(static_cast<unsigned char>(t[j]));
      if (c2 != ccBoth) {
        if (cls == ccBoth)
          cls = c2;
        else if (c2 != cls)
          break;
      }
      ++j;
    }
    int set = cls == ccAOnly ? setA : setB;
    if (j - i == 1 && set != cur && (cur == setA || cur == setB)) {
      out += prefix;
      out += "&S;";
      out += t[i];
    } else {
      if (set != cur) out += set == setA ? "&A;" : "&B;";
      out += prefix;
      out.append(t, i, j - i);
      cur = set;
    }
    i = j;
  }
  return out;
}

// Value of the data token at i in `set`, advancing i; -1 when the set has no such character.
int Code128Value(std::string_view s, size_t& i, int set) {
  if (set == setC) {
    if (i + 1 >= s.size() || !IsDigit(s[i]) || !IsDigit(s[i + 1])) return -1;
    int v = (s[i] - '0') * 10 + (s[i + 1] - '0');
    i += 2;
    return v;
  }
  unsigned char c = static_cast<unsigned char>(s[i]);
  ++i;
  return set == setA ? ValueInSetA(c) : ValueInSetB(c);
}

// Escaped text to Code 128 symbol widths: start, values, check, stop.
std::string EncodeCode128Escaped(std::string_view esc) {
  char l = 0;
  if (!EscapeAt(esc, 0, l) || (l != 'A' && l != 'B' && l != 'C')) Fail(kInvalidBarcode);
  int set = l - 'A';
  // every symbol has six elements and the stop seven, all starting with a bar
  std::string pattern;
  pattern.reserve(esc.size() * 6 + 32);
  int startValue = 103 + set;
  AppendWidths(pattern, kCode128[startValue], true);
  int sum = startValue;
  int weight = 1;
  auto emit = [&](int v) {
    AppendWidths(pattern, kCode128[v], true);
    sum = (sum + weight % 103 * v) % 103;
    ++weight;
    if (weight > 103 * 1000) weight -= 103 * 1000;  // weights only matter modulo 103
  };
  size_t i = 3;
  while (i < esc.size()) {
    if (EscapeAt(esc, i, l)) {
      i += 3;
      switch (l) {
        case 'A':
        case 'B':
        case 'C': {
          int target = l - 'A';
          if (target == set) break;  // already there: nothing to switch
          emit(target == setA ? 101 : target == setB ? 100 : 99);
          set = target;
          break;
        }
        case 'S': {
          if (set == setC || i >= esc.size() || EscapeAt(esc, i, l)) Fail(kInvalidBarcode);
          emit(98);
          int v = Code128Value(esc, i, set == setA ? setB : setA);
          if (v < 0) Fail(kInvalidBarcode);
          emit(v);
          break;
        }
        case '1':
          emit(102);
          break;
        case '2':
        case '3':
          if (set == setC) Fail(kInvalidBarcode);  // set C has no FNC2/FNC3
          emit(l == '2' ? 97 : 96);
          break;
        case '4':
          if (set == setC) Fail(kInvalidBarcode);
          emit(set == setA ? 101 : 100);
          break;
      }
      continue;
    }
    int v = Code128Value(esc, i, set);
    if (v < 0) Fail(kInvalidBarcode);
    emit(v);
  }
  AppendWidths(pattern, kCode128[sum % 103], true);
  AppendWidths(pattern, kCode128Stop, true);
  return pattern;
}

}  // namespace

std::string EncodeCode128Family(EncodingJob& job) {
  std::string t = ReplaceFnc1(job.Text);
  std::string esc;
  switch (job.Typ) {
    case bcCode128A:
    case bcCodeEAN128A:
      esc = "&A;" + t;
      break;
    case bcCode128B:
    case bcCodeEAN128B:
      esc = "&B;" + t;
      break;
    case bcCode128C:
    case bcCodeEAN128C:
      esc = "&C;";
      for (char c : t) {
        if (c == '(')
          esc += "&1;";
        else if (c != ')')
          esc += c;
      }
      break;
    case bcGS1Code128:
      esc = AutoCodeSet(GS1ParseElementString(t));
      break;
    default:
      esc = AutoCodeSet(t);
      break;
  }
  if (job.Typ >= bcCodeEAN128 && job.Typ <= bcCodeEAN128C) {
    if (esc.size() >= 3 && esc.compare(3, 3, "&1;") != 0) esc.insert(3, "&1;");
    if (job.CheckSum && job.CheckSumMethod == csmModulo10) {
      std::string data = RemoveEscapes(esc);
      esc += CheckSumText(data, csmModulo10).back();
    }
  }
  std::string pattern = EncodeCode128Escaped(esc);
  job.EncodedText = RemoveEscapes(esc);
  return pattern;
}

}  // namespace pagewright::barcode_encoding
