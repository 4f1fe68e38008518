#include "storage/serializer.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <unordered_map>

#include "platform/code_pages.h"
#include "platform/component.h"
#include "platform/exceptions.h"
#include "platform/fast_cast.h"
#include "platform/stack_guard.h"
#include "platform/format.h"
#include "platform/properties.h"
#include "platform/property_stream.h"
#include "platform/streams.h"
#include "platform/unicode.h"
#include "platform/variant.h"
#include "storage/xml_document.h"
#include "storage/xml_text_object.h"

namespace pagewright {

namespace {

// Sub-objects nest a few levels (Frame.TopLine.Color); a description that loops is cut here.
constexpr int kMaxObjectDepth = 16;

WideString AsciiToWide(std::string_view s) {
  WideString r;
  r.reserve(s.size());
  for (char c : s) r.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return r;
}

char16_t UpperChar(char16_t c) {
  return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
}

bool SameAscii(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (UpperChar(a[i]) != UpperChar(b[i])) return false;
  return true;
}

bool EndsWithAscii(std::u16string_view s, std::u16string_view tail) {
  return s.size() >= tail.size() && SameAscii(s.substr(s.size() - tail.size()), tail);
}

uint32_t Crc32(std::string_view bytes) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (char ch : bytes) crc = table[(crc ^ static_cast<unsigned char>(ch)) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

// Text read from a document of the old format holds its bytes as 8-bit characters: mostly UTF-8,
// but older files have text in the code page itself, which UTF-8 would turn into U+FFFD.
WideString OldFormatToWide(const WideString& s, uint32_t codePage) {
  const std::string bytes = WideToAnsi(s);
  if (IsValidUtf8(bytes)) return Utf8ToUtf16(bytes);
  return CodePageToWide(bytes, codePage);
}

// The float reading of templates: either separator, blanks ignored.
Extended TemplateFloat(std::u16string_view value) {
  const char16_t sep = FormatSettings().DecimalSeparator;
  WideString s;
  s.reserve(value.size());
  for (char16_t c : value) {
    if (c == u' ') continue;
    s.push_back(c == u'.' || c == u',' ? sep : c);
  }
  return StrToFloat(s);
}

// An error line quotes the value it could not use; a value of megabytes would make a line no
// one can read, so the quotation is cut.
std::string Shortened(std::string message) {
  constexpr size_t kMaxLength = 300;
  if (message.size() <= kMaxLength) return message;
  size_t cut = kMaxLength;
  while (cut > 0 && (static_cast<unsigned char>(message[cut]) & 0xC0) == 0x80) --cut;  // whole characters
  message.resize(cut);
  return message + "...";
}

WideString WithoutFinalLineBreak(WideString s) {
  if (s.size() >= 2 && s[s.size() - 2] == u'\r' && s.back() == u'\n')
    s.resize(s.size() - 2);
  else if (!s.empty() && s.back() == u'\n')
    s.pop_back();
  return s;
}

void AppendAttribute(WideString& out, std::u16string_view prefix, std::u16string_view name,
                     std::u16string_view value) {
  out.push_back(u' ');
  out.append(prefix);
  out.append(name);
  out.append(u"=\"");
  out.append(value);
  out.push_back(u'"');
}

struct WritingMark {
  IpgwSerializedNode* node;
  explicit WritingMark(IpgwSerializedNode* n) : node(n) {
    if (node) node->SetWritingMark(true);
  }
  ~WritingMark() {
    if (node) node->SetWritingMark(false);
  }
};

}  // namespace

TpgwXMLSerializer::TpgwXMLSerializer(TStream* stream) : FStream(stream) {
  FErrors.SetSorted(true);
  FErrors.SetDuplicates(dupIgnore);
  FErrors.SetCaseSensitive(true);
}

TpgwXMLSerializer::~TpgwXMLSerializer() = default;

void TpgwXMLSerializer::AddError(const std::string& message) {
  FErrors.Add(Utf8ToUtf16(message));
}

std::string TpgwXMLSerializer::CantFindClass(std::u16string_view className) {
  const WideString text = FOwnerNode ? FOwnerNode->MessageText("xrCantFindClass", u"Cannot find class")
                                     : WideString(u"Cannot find class");
  return Utf16ToUtf8(text) + " " + Shortened(Utf16ToUtf8(className));
}

std::string TpgwXMLSerializer::Place(TPersistent& obj) const {
  std::string where;
  if (FElementLine > 0) where = "line " + std::to_string(FElementLine) + ": ";
  if (!FElement.empty()) return where + FElement + ": ";
  if (auto* comp = FastCast<TComponent>(&obj)) {
    where.append(1, '<').append(comp->ClassName());
    if (!comp->Name().empty()) where += " Name=\"" + Utf16ToUtf8(comp->Name()) + "\"";
    return where + ">: ";
  }
  return where.append(1, '<').append(obj.ClassName()).append(">: ");
}

// ---- writing --------------------------------------------------------------------------------------

WideString TpgwXMLSerializer::ReferenceName(const TComponent* target) const {
  if (!target) return WideString();
  // Qualified only when the owner is known to be another module than the report's (an
  // unnamed owner could not be found by name anyway).
  const TComponent* owner = target->Owner();
  if (FOwner && owner && owner != FOwner && owner != FOwner->Owner() && !owner->Name().empty())
    return owner->Name() + u"." + target->Name();
  return target->Name();
}

WideString TpgwXMLSerializer::ObjToXML(TPersistent& obj, std::u16string_view prefix, TPersistent* ancestor) {
  WideString out;
  WriteProperties(obj, prefix, ancestor, out, 0);
  return out;
}

void TpgwXMLSerializer::WriteProperties(TPersistent& obj, std::u16string_view prefix, TPersistent* ancestor,
                                        WideString& out, int depth) {
  if (depth > kMaxObjectDepth) return;
  auto* node = FastCast<IpgwSerializedNode>(&obj);
  WritingMark mark(node);
  if (node && !ancestor && OnGetAncestor) ancestor = OnGetAncestor(*node);
  TPersistent* source = &obj;
  if (ancestor && &ancestor->ClassInfo() != &obj.ClassInfo()) ancestor = nullptr;
  if (ancestor && FSaveAncestorOnly) {
    source = ancestor;
    ancestor = nullptr;
  }
  const bool all = FSerializeDefaultValues;
  auto* textObject = FastCast<IpgwXMLTextObject>(source);

  for (const TPropInfo* p : source->ClassInfo().Properties()) {
    if (!p->IsStored(*source)) continue;
    if (textObject && p->Name() == "Text") continue;  // written below, always
    const WideString& name = p->WideName();
    const TPropValue v = p->Get(*source);
    switch (p->Kind()) {
      case pkInteger:
      case pkInt64:
      case pkBoolean:
      case pkEnumeration:
      case pkSet: {
        if (ancestor) {
          if (p->Get(*ancestor) == v) continue;
        } else if (!all && p->IsDefaultValue(*source)) {
          continue;
        }
        WideString text;
        if (p->Kind() == pkSet) {
          text = IntToStr(static_cast<int64_t>(v.Bits));
        } else if (p->Kind() == pkBoolean || p->Kind() == pkEnumeration) {
          const WideString& valueName = p->Enum() ? p->Enum()->WideName(v.Int) : WideString();
          text = valueName.empty() ? IntToStr(v.Int) : valueName;
        } else {
          text = IntToStr(v.Int);
        }
        AppendAttribute(out, prefix, name, text);
        break;
      }
      case pkFloat: {
        if (ancestor && std::fabs(static_cast<double>(p->Get(*ancestor).Float - v.Float)) < 0.000001)
          continue;
        AppendAttribute(out, prefix, name, FloatToStr(v.Float));
        break;
      }
      case pkString:
      case pkEvent: {
        if (ancestor) {
          if (p->Get(*ancestor).Str == v.Str) continue;
        } else if (!all && v.Str.empty()) {
          continue;
        }
        AppendAttribute(out, prefix, name, EncodeXmlText(v.Str));
        break;
      }
      case pkVariant: {
        WideString text;
        try {
          text = v.Var ? VarToStr(*v.Var) : WideString();
        } catch (const Exception&) {
          continue;  // arrays and other values without a text form
        }
        if (ancestor) {
          const TPropValue a = p->Get(*ancestor);
          WideString atext;
          try {
            atext = a.Var ? VarToStr(*a.Var) : WideString();
          } catch (const Exception&) {
          }
          if (atext == text) continue;
        } else if (!all && text.empty()) {
          continue;
        }
        AppendAttribute(out, prefix, name, EncodeXmlText(text));
        break;
      }
      case pkReference: {
        auto* target = FastCast<TComponent>(v.Obj);
        const WideString ref = ReferenceName(target);
        if (ancestor) {
          auto* at = FastCast<TComponent>(p->Get(*ancestor).Obj);
          const WideString aref = ReferenceName(at);
          if (aref == ref) continue;
          AppendAttribute(out, prefix, name, target ? EncodeXmlText(ref) : WideString(u"nil"));
        } else {
          if (!target) continue;
          AppendAttribute(out, prefix, name, EncodeXmlText(ref));
        }
        break;
      }
      case pkStringList: {
        const WideString text = v.List ? WithoutFinalLineBreak(v.List->Text()) : WideString();
        if (ancestor) {
          const TPropValue a = p->Get(*ancestor);
          if ((a.List ? WithoutFinalLineBreak(a.List->Text()) : WideString()) == text) continue;
        }
        AppendAttribute(out, prefix, name + u".Text", EncodeXmlText(text));
        break;
      }
      case pkObject: {
        if (!v.Obj) break;
        TPersistent* subAncestor = ancestor ? p->Get(*ancestor).Obj : nullptr;
        WideString subPrefix(prefix);
        subPrefix += name;
        subPrefix += u'.';
        WriteProperties(*v.Obj, subPrefix, subAncestor, out, depth + 1);
        break;
      }
    }
  }

  if (textObject)
    AppendAttribute(out, prefix, u"Text", EncodeXmlText(WithoutFinalLineBreak(textObject->XMLText())));

  if (!(node && node->HandlesNestedProperties() && FHandleNestedProperties)) {
    std::string bytes;
    try {
      bytes = WriteExtraProperties(*source);
    } catch (const Exception& e) {
      AddError(e.Message());
    }
    if (!bytes.empty()) {
      bool differs = true;
      if (ancestor) {
        try {
          differs = Crc32(WriteExtraProperties(*ancestor)) != Crc32(bytes);
        } catch (const Exception&) {
        }
      }
      if (differs) AppendAttribute(out, prefix, u"PropData", AsciiToWide(BytesToHex(bytes)));
    }
  }
}

void TpgwXMLSerializer::WriteNode(IpgwSerializedNode& node, TpgwXMLItem& item, bool saveChildren,
                                  bool isRoot) {
  TComponent& comp = node.NodeComponent();
  TPersistent* ancestor = OnGetAncestor ? OnGetAncestor(node) : nullptr;
  if (node.IsFromParentTemplate() && OnGetAncestor)
    item.SetName(u"inherited");
  else
    item.SetName(AsciiToWide(comp.ClassName()));
  if (isRoot || FIgnoreName) {
    item.SetText(ObjToXML(comp, {}, ancestor));
  } else {
    WideString text = u"Name=\"" + comp.Name() + u"\"";
    text += ObjToXML(comp, {}, ancestor);
    item.SetText(std::move(text));
  }
  if (node.HandlesNestedProperties() && FHandleNestedProperties) node.WriteNestedProperties(item, *this);
  if (!saveChildren) return;
  for (int i = 0; i < node.ChildNodeCount(); ++i)
    if (IpgwSerializedNode* child = node.ChildNode(i)) WriteNode(*child, *item.Add(), true, false);
}

void TpgwXMLSerializer::WriteRootComponent(IpgwSerializedNode& root, bool saveChildren, TpgwXMLItem* item) {
  if (!FOwner) FOwner = &root.NodeComponent();
  if (!FOwnerNode) FOwnerNode = &root;
  if (item) {
    WriteNode(root, *item, saveChildren, true);
    return;
  }
  if (!FStream) throw EInvalidOperation("The serializer has no stream");
  TpgwXMLDocument doc;
  doc.SetAutoIndent(true);
  WriteNode(root, *doc.Root(), saveChildren, true);
  if (OnSaveCustomDataEvent) OnSaveCustomDataEvent(*doc.Root()->Add(u"PgwCustomData"));
  doc.SaveToStream(*FStream);
}

WideString TpgwXMLSerializer::WriteComponentStr(IpgwSerializedNode& node, TPersistent* ancestor) {
  TComponent& comp = node.NodeComponent();
  return AsciiToWide(comp.ClassName()) + ObjToXML(comp, {}, ancestor);
}

void TpgwXMLSerializer::WriteComponent(IpgwSerializedNode& node, TPersistent* ancestor) {
  if (!FStream) throw EInvalidOperation("The serializer has no stream");
  std::string bytes(1, '<');
  bytes.append(Utf16ToUtf8(WriteComponentStr(node, ancestor))).append("/>");
  FStream->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

// ---- reading --------------------------------------------------------------------------------------

void TpgwXMLSerializer::XMLToObj(std::u16string_view text, TPersistent& obj) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    while (i < n && text[i] == u' ') ++i;
    const size_t eq = text.find(u'=', i);
    if (eq == std::u16string_view::npos) break;
    size_t end = eq;
    while (end > i && text[end - 1] == u' ') --end;
    if (end == i) break;
    const std::u16string_view name = text.substr(i, end - i);
    const size_t q1 = text.find(u'"', eq + 1);
    if (q1 == std::u16string_view::npos) break;
    const size_t q2 = text.find(u'"', q1 + 1);
    if (q2 == std::u16string_view::npos) break;
    const std::u16string_view value = text.substr(q1 + 1, q2 - q1 - 1);
    i = q2 + 1;
    // Each problem names the element and the attribute; the other attributes still apply.
    try {
      ApplyAttribute(obj, name, value);
    } catch (const Exception& e) {
      AddError(Place(obj) + Shortened(Utf16ToUtf8(name)) + ": " + Shortened(e.Message()));
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& e) {
      AddError(Place(obj) + Shortened(Utf16ToUtf8(name)) + ": " + Shortened(e.what()));
    }
  }
}

void TpgwXMLSerializer::ApplyAttribute(TPersistent& obj, std::u16string_view name,
                                       std::u16string_view value) {
  // A dotted name walks down published sub-objects as far as it can.
  TPersistent* target = &obj;
  std::u16string_view rest = name;
  for (int depth = 0; depth < kMaxObjectDepth; ++depth) {
    const size_t dot = rest.find(u'.');
    if (dot == std::u16string_view::npos) break;
    const TPropInfo* p = target->ClassInfo().FindProperty(rest.substr(0, dot));
    if (!p || p->Kind() != pkObject) break;
    TPersistent* sub = p->Get(*target).Obj;
    if (!sub) break;
    target = sub;
    rest = rest.substr(dot + 1);
  }

  if (rest.size() == 1) {
    const char16_t c = UpperChar(rest[0]);
    const char* geometry = c == u'H'   ? "Height"
                           : c == u'L' ? "Left"
                           : c == u'T' ? "Top"
                           : c == u'W' ? "Width"
                                       : nullptr;
    if (geometry) {
      const TPropInfo* p = target->ClassInfo().FindProperty(std::string_view(geometry));
      if (p && !p->IsReadOnly()) p->Set(*target, TPropValue::FloatValue(TemplateFloat(value)));
      return;
    }
    if (c == u'U' || c == u'X') {
      if (auto* t = FastCast<IpgwXMLTextObject>(target)) {
        WideString text = DecodeXmlEntities(value);
        if (c == u'U' && FOldFormat) text = OldFormatToWide(text, FOldCodePage);
        t->SetXMLText(text);
      }
      return;
    }
  }
  if (SameAscii(rest, u"PropData")) {
    try {
      ReadExtraProperties(*target, HexToBytes(value));
    } catch (const EDataKept&) {
      throw;  // kept but not understood: said, with its place
    } catch (const Exception&) {
      // a broken property stream is ignored
    }
    return;
  }
  if (SameAscii(rest, u"Name")) {
    auto* node = FastCast<IpgwSerializedNode>(target);
    if (node && node->IsReportNode()) return;
    if (node) {
      const WideString name = DecodeXmlEntities(value);
      try {
        node->NodeComponent().SetName(name);
      } catch (const EDuplicateName&) {
        // Both objects stay: the later one is renamed by the tree's own rule.
        const WideString given = node->GiveUniqueName();
        if (given.empty()) throw;
        throw EDuplicateName("the name " + Utf16ToUtf8(name) +
                             " is already used by another object; this one is named " + Utf16ToUtf8(given));
      }
      return;
    }
  }
  if (SameAscii(rest, u"Text")) {
    if (auto* t = FastCast<IpgwXMLTextObject>(target)) {
      WideString text = DecodeXmlEntities(value);
      if (FOldFormat) text = OldFormatToWide(text, FOldCodePage);
      t->SetXMLText(text);
      return;
    }
  }
  if (EndsWithAscii(rest, u".Text")) {
    const std::u16string_view listName = rest.substr(0, rest.size() - 5);
    const TPropInfo* p = target->ClassInfo().FindProperty(listName);
    if (p && p->Kind() == pkStringList && !p->IsReadOnly())
      p->Set(*target, TPropValue::String(DecodeXmlEntities(value)));
    return;
  }

  const TPropInfo* p = target->ClassInfo().FindProperty(rest);
  if (!p || p->IsReadOnly()) return;
  const WideString v(value);
  switch (p->Kind()) {
    case pkInteger:
      p->Set(*target, TPropValue::Integer(StrToInt(v)));
      break;
    case pkInt64:
    case pkSet:
      p->Set(*target, TPropValue::Integer(StrToInt64(v)));
      break;
    case pkBoolean:
    case pkEnumeration: {
      int64_t ordinal;
      if (TryStrToInt64(v, ordinal))
        p->Set(*target, TPropValue::Integer(ordinal));
      else
        p->Set(*target, TPropValue::String(v));
      break;
    }
    case pkFloat: {
      const Extended f = TemplateFloat(value);
      if (!p->InRange(f) || std::isnan(static_cast<double>(f)))
        throw EConvertError("'" + Shortened(Utf16ToUtf8(v)) + "' is out of range (" + Utf16ToUtf8(FloatToStr(p->RangeMin())) +
                            " to " + Utf16ToUtf8(FloatToStr(p->RangeMax())) + "); the attribute is ignored");
      p->Set(*target, TPropValue::FloatValue(f));
      break;
    }
    case pkString:
    case pkEvent:
      p->Set(*target, TPropValue::String(DecodeXmlEntities(value)));
      break;
    case pkVariant:
      p->Set(*target, TPropValue::FromVariant(Variant(DecodeXmlEntities(value))));
      break;
    case pkReference:
      FFixups.push_back(TpgwFixupItem{target, p, DecodeXmlEntities(value)});
      break;
    case pkStringList:
    case pkObject:
      break;
  }
}

TComponent* TpgwXMLSerializer::ResolveReference(const WideString& name) {
  if (name.empty()) return nullptr;
  if (FOwnerNode)
    if (TComponent* c = FOwnerNode->FindReferenceTarget(name)) return c;
  // Dotted names name components of other modules; this program registers none.
  if (name.find(u'.') != WideString::npos) return nullptr;
  if (!FOwner) return nullptr;
  if (TComponent* c = FOwner->FindComponent(name)) return c;
  if (FOwnerNode && FOwnerNode->IsReportNode() && FOwner->Owner())
    return FOwner->Owner()->FindComponent(name);
  return nullptr;
}

void TpgwXMLSerializer::FixupReferences() {
  // Setting one reference may not add to the list, but stay safe if it does.
  std::vector<TpgwFixupItem> fixups;
  fixups.swap(FFixups);
  // Setting references adds no objects, so each name is looked up once (many objects of a
  // template name the same data set).
  std::unordered_map<WideString, TComponent*> found;
  for (const TpgwFixupItem& f : fixups) {
    try {
      if (f.Value == u"nil") {
        f.Property->Set(*f.Object, TPropValue::Object(nullptr));
        continue;
      }
      const WideString key = UpperName(f.Value);
      auto it = found.find(key);
      if (it == found.end()) it = found.emplace(key, ResolveReference(f.Value)).first;
      TComponent* target = it->second;
      if (target) f.Property->Set(*f.Object, TPropValue::Object(target));
    } catch (const Exception& e) {
      AddError(e.Message());
    }
  }
}

void TpgwXMLSerializer::ForgetFixups(const TPersistent* obj) {
  std::erase_if(FFixups, [obj](const TpgwFixupItem& f) { return f.Object == obj; });
}

void TpgwXMLSerializer::CopyFixupList(const std::vector<TpgwFixupItem>& list) {
  FFixups.insert(FFixups.end(), list.begin(), list.end());
}

void TpgwXMLSerializer::ReadNode(IpgwSerializedNode* parent, IpgwSerializedNode& root, TpgwXMLItem& item,
                                 int depth) {
  const int64_t stackLeft = RemainingStack();
  if (depth > MaxDepth || (stackLeft >= 0 && stackLeft < static_cast<int64_t>(kDefaultStackMargin))) {
    AddError("Template elements are nested too deeply");
    return;
  }
  const WideString& elementName = item.Name();
  if (SameAscii(elementName, u"PgwCustomData")) {
    if (GetCustomDataEvent) GetCustomDataEvent(item);
    return;
  }
  const bool inherited = SameAscii(elementName, u"inherited");
  // Problems of this element name it and its line.
  FElementLine = item.Line();
  const std::string line = FElementLine > 0 ? "line " + std::to_string(FElementLine) + ": " : std::string();
  WideString objName;
  bool nameReadable = true;
  try {
    objName = item.GetProp(u"Name");
  } catch (const Exception&) {
    nameReadable = false;  // the Name attribute reports its own error below
  }
  FElement.assign(1, '<').append(Shortened(Utf16ToUtf8(elementName)));
  if (!objName.empty()) FElement += " Name=\"" + Shortened(Utf16ToUtf8(objName)) + "\"";
  FElement += ">";

  const TClassInfo* cls = nullptr;
  if (!inherited) {
    cls = ClassRegistry().Find(std::u16string_view(elementName));
    if (!cls) {
      AddError(line + CantFindClass(elementName));
      return;
    }
  }

  IpgwSerializedNode* node = nullptr;
  if (!parent) {
    node = &root;
  } else {
    if (!FIgnoreName && FOwner && nameReadable && !objName.empty()) {
      node = FastCast<IpgwSerializedNode>(FOwner->FindComponent(objName));
      // An element changes an object of the parent template (or one the report had before
      // the load); a second object of this load under a taken name is a new object.
      if (node && !inherited && !node->IsFromParentTemplate() && FLoadedSet.count(node)) node = nullptr;
    }
    if (!node) {
      if (inherited) return;  // nothing in the parent template to change
      try {
        node = parent->CreateChildNode(*cls);
      } catch (const Exception& e) {
        AddError(line + FElement + ": " + e.Message());
        return;
      }
      if (!node) {
        AddError(line + CantFindClass(elementName));
        return;
      }
    } else if (inherited) {
      node->MoveNodeToEnd();
    }
  }

  node->SetLoadingMark(true);
  if (FLoadedSet.insert(node).second) FLoaded.push_back(node);
  node->KeepElementText(item.Text());
  XMLToObj(item.Text(), node->NodeComponent());
  FElement.clear();
  FElementLine = 0;

  for (int i = 0; i < item.Count(); ++i) {
    TpgwXMLItem& child = *item.Items(i);
    if (FHandleNestedProperties && node->HandlesNestedProperties() && node->ReadNestedProperty(child, *this))
      continue;
    ReadNode(node, root, child, depth + 1);
  }
}

void TpgwXMLSerializer::ReadRootComponent(IpgwSerializedNode& root, TpgwXMLItem* item) {
  if (!FOwner) FOwner = &root.NodeComponent();
  if (!FOwnerNode) FOwnerNode = &root;
  std::unique_ptr<TpgwXMLDocument> doc;
  if (!item) {
    if (!FStream) throw EInvalidOperation("The serializer has no stream");
    doc = std::make_unique<TpgwXMLDocument>();
    doc->LoadFromStream(*FStream, false);
    FOldFormat = doc->OldVersion();
    FOldCodePage = doc->OldCodePage();
    item = doc->Root();
    // What was read is still loaded; the missing end is an error of the load.
    if (doc->Truncated()) AddError("The template ends before all its elements are closed");
  }
  FLoaded.clear();
  FLoadedSet.clear();
  ReadNode(nullptr, root, *item, 0);
  FixupReferences();
  std::vector<IpgwSerializedNode*> loaded;
  loaded.swap(FLoaded);
  FLoadedSet.clear();
  for (IpgwSerializedNode* node : loaded) {
    node->SetLoadingMark(false);
    if (node->IsReportNode()) continue;
    try {
      node->NodeLoaded();
    } catch (const Exception& e) {
      AddError(e.Message());
    }
  }
}

IpgwSerializedNode* TpgwXMLSerializer::ReadComponentStr(IpgwSerializedNode& root, std::u16string_view text,
                                                        bool dontFixup) {
  if (!FOwner) FOwner = &root.NodeComponent();
  if (!FOwnerNode) FOwnerNode = &root;
  const size_t blank = text.find(u' ');
  const std::u16string_view className = text.substr(0, blank);
  const std::u16string_view rest =
      blank == std::u16string_view::npos ? std::u16string_view() : text.substr(blank + 1);
  const TClassInfo* cls = ClassRegistry().Find(className);
  IpgwSerializedNode* node = nullptr;
  if (cls) {
    try {
      node = root.CreateChildNode(*cls);
    } catch (const Exception& e) {
      AddError(e.Message());
      return nullptr;
    }
  }
  if (!node) {
    AddError(CantFindClass(className));
    return nullptr;
  }
  node->SetLoadingMark(true);
  XMLToObj(rest, node->NodeComponent());
  if (!dontFixup) FixupReferences();
  node->SetLoadingMark(false);
  if (!node->IsReportNode()) {
    try {
      node->NodeLoaded();
    } catch (const Exception& e) {
      AddError(e.Message());
    }
  }
  return node;
}

IpgwSerializedNode* TpgwXMLSerializer::ReadComponent(IpgwSerializedNode& root) {
  if (!FStream) throw EInvalidOperation("The serializer has no stream");
  TpgwXMLReader reader(*FStream);
  reader.SetOldFormat(FOldFormat);
  WideString name, text;
  reader.ReadTag(name, text);
  reader.Finish();
  if (!name.empty() && name.back() == u'/') name.pop_back();
  if (!text.empty() && text.back() == u'/') text.pop_back();
  if (name.empty() || name[0] == u'/') return nullptr;
  return ReadComponentStr(root, name + u" " + text);
}

void TpgwXMLSerializer::ReadPersistentStr(IpgwSerializedNode& root, TPersistent& obj,
                                          std::u16string_view text) {
  if (!FOwner) FOwner = &root.NodeComponent();
  if (!FOwnerNode) FOwnerNode = &root;
  XMLToObj(text, obj);
  FixupReferences();
}

// ---- single objects ------------------------------------------------------------------------------------

WideString ObjectToXMLAttributes(TPersistent& obj) {
  TpgwXMLSerializer s;
  return s.ObjToXML(obj);
}

void XMLAttributesToObject(std::u16string_view text, TPersistent& obj) {
  TpgwXMLSerializer s;
  s.XMLToObj(text, obj);
}

}  // namespace pagewright
