// The object serializer: report objects as XML elements and attributes, and back.
//
// Every published property of an object becomes one attribute (sub-objects flattened as
// "Frame.TopLine.Color", string lists as "<Name>.Text", references by name); a node of the
// report tree becomes one element named after its class, its children nested inside it.
// Reading creates objects through the class registry, applies attributes by name, and resolves
// references by name once the whole tree is read. Nothing unknown is fatal: unknown classes,
// values that do not convert and the like become lines in Errors.
//
// The serializer knows the report tree only through IpgwSerializedNode, which the tree's node
// classes implement; this module includes nothing of them.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/string_list.h"
#include "platform/types.h"

namespace pagewright {

class TComponent;
class TClassInfo;
class TPersistent;
class TPropInfo;
class TStream;
class TpgwXMLItem;
class TpgwXMLSerializer;

// What the serializer needs of a node of the report tree.
class IpgwSerializedNode {
 public:
  virtual ~IpgwSerializedNode() = default;
  // The node as a component: class description, name and owner.
  virtual TComponent& NodeComponent() = 0;
  virtual int ChildNodeCount() const = 0;
  virtual IpgwSerializedNode* ChildNode(int index) const = 0;
  virtual IpgwSerializedNode* ParentNode() const = 0;
  // The node is the root of a report (its Name is never read, it gets no loaded notification).
  virtual bool IsReportNode() const = 0;
  // The node comes from a parent template.
  virtual bool IsFromParentTemplate() const = 0;
  virtual void SetLoadingMark(bool on) = 0;
  virtual void SetWritingMark(bool on) = 0;
  // Called once all properties and references of a load are applied.
  virtual void NodeLoaded() = 0;
  // A component of the node's tree (or known to it) by name, for references; null when none.
  virtual TComponent* FindReferenceTarget(std::u16string_view name) = 0;
  // The node writes and reads nested collection elements of its own (the report: Datasets,
  // Variables, Styles).
  virtual bool HandlesNestedProperties() const = 0;
  virtual void WriteNestedProperties(TpgwXMLItem& item, TpgwXMLSerializer& serializer) = 0;
  // Whether the node took the element.
  virtual bool ReadNestedProperty(TpgwXMLItem& item, TpgwXMLSerializer& serializer) = 0;
  // A new child of the class, appended to this node's children; null when the class cannot be
  // a child node here.
  virtual IpgwSerializedNode* CreateChildNode(const TClassInfo& cls) = 0;
  // Moves the node to the end of its parent's children.
  virtual void MoveNodeToEnd() = 0;
  // The element's attribute text as read, before it is applied (a node that keeps what it does
  // not know, to write it back, takes it here).
  virtual void KeepElementText(std::u16string_view /*text*/) {}
  // Gives the node a name no other node of its tree has; returns it (empty when the node
  // cannot name itself).
  virtual WideString GiveUniqueName() { return WideString(); }
  // The text of a message of the resource store (`id`); `fallback` when the node has no store.
  virtual WideString MessageText(std::string_view /*id*/, std::u16string_view fallback) {
    return WideString(fallback);
  }
};

// A reference read from a template, set once the whole tree is read.
struct TpgwFixupItem {
  TPersistent* Object = nullptr;
  const TPropInfo* Property = nullptr;
  WideString Value;
};

class TpgwXMLSerializer {
 public:
  // Deeper trees are refused with an error line (the XML reader refuses them first).
  static constexpr int MaxDepth = 1000;

  explicit TpgwXMLSerializer(TStream* stream = nullptr);
  ~TpgwXMLSerializer();
  TpgwXMLSerializer(const TpgwXMLSerializer&) = delete;
  TpgwXMLSerializer& operator=(const TpgwXMLSerializer&) = delete;

  // Sorted, duplicates ignored.
  TStringList& Errors() { return FErrors; }
  const std::vector<TpgwFixupItem>& Fixups() const { return FFixups; }
  // The component that owns name lookups (normally the report).
  TComponent* Owner() const { return FOwner; }
  void SetOwner(TComponent* v) { FOwner = v; }
  bool SerializeDefaultValues() const { return FSerializeDefaultValues; }
  void SetSerializeDefaultValues(bool v) { FSerializeDefaultValues = v; }
  TStream* Stream() const { return FStream; }
  void SetStream(TStream* v) { FStream = v; }
  // The document being read was in the old (8-bit) format.
  bool OldFormat() const { return FOldFormat; }
  void SetOldFormat(bool v) { FOldFormat = v; }
  // The code page of old-format text that is not UTF-8 (1252 unless the document names another).
  uint32_t OldCodePage() const { return FOldCodePage; }
  void SetOldCodePage(uint32_t v) { FOldCodePage = v; }
  bool HandleNestedProperties() const { return FHandleNestedProperties; }
  void SetHandleNestedProperties(bool v) { FHandleNestedProperties = v; }
  bool SaveAncestorOnly() const { return FSaveAncestorOnly; }
  void SetSaveAncestorOnly(bool v) { FSaveAncestorOnly = v; }
  bool IgnoreName() const { return FIgnoreName; }
  void SetIgnoreName(bool v) { FIgnoreName = v; }

  // The parent template's object of a node (by the node's name), or null.
  std::function<TPersistent*(IpgwSerializedNode& node)> OnGetAncestor;
  // Reading: the content of a "PgwCustomData" element.
  std::function<void(TpgwXMLItem& item)> GetCustomDataEvent;
  // Writing: fills the "PgwCustomData" element written last under the root.
  std::function<void(TpgwXMLItem& item)> OnSaveCustomDataEvent;

  // Writes `root` (and its children when asked) into `item`, or, with none, as an indented
  // document to the stream.
  void WriteRootComponent(IpgwSerializedNode& root, bool saveChildren = true, TpgwXMLItem* item = nullptr);
  // Reads the root element of `item` (or, with none, of the document in the stream; malformed
  // XML raises TpgwInvalidXMLException) into `root`.
  void ReadRootComponent(IpgwSerializedNode& root, TpgwXMLItem* item = nullptr);

  // The attribute text of one object (without Name), each attribute after one blank.
  WideString ObjToXML(TPersistent& obj, std::u16string_view prefix = {}, TPersistent* ancestor = nullptr);
  // Applies an attribute text to an object; references become pending fix-ups.
  void XMLToObj(std::u16string_view text, TPersistent& obj);
  // Class name and attribute text of a node.
  WideString WriteComponentStr(IpgwSerializedNode& node, TPersistent* ancestor = nullptr);
  // Creates an object of the class named before the first blank under `root` and applies the
  // rest; null when the class is unknown (an error line says so).
  IpgwSerializedNode* ReadComponentStr(IpgwSerializedNode& root, std::u16string_view text,
                                       bool dontFixup = false);
  // One element "<...>" in UTF-8 to the stream.
  void WriteComponent(IpgwSerializedNode& node, TPersistent* ancestor = nullptr);
  // Reads one element from the stream and creates its object under `root`.
  IpgwSerializedNode* ReadComponent(IpgwSerializedNode& root);
  // Applies the text to an object and resolves its references.
  void ReadPersistentStr(IpgwSerializedNode& root, TPersistent& obj, std::u16string_view text);
  void CopyFixupList(const std::vector<TpgwFixupItem>& list);
  // Sets the pending references (see ResolveReference) and empties the list.
  void FixupReferences();
  // Drops the pending references of an object that is about to be destroyed.
  void ForgetFixups(const TPersistent* obj);

 private:
  struct Context;
  void WriteNode(IpgwSerializedNode& node, TpgwXMLItem& item, bool saveChildren, bool isRoot);
  void ReadNode(IpgwSerializedNode* parent, IpgwSerializedNode& root, TpgwXMLItem& item, int depth);
  void WriteProperties(TPersistent& obj, std::u16string_view prefix, TPersistent* ancestor, WideString& out,
                       int depth);
  void ApplyAttribute(TPersistent& obj, std::u16string_view name, std::u16string_view value);
  TComponent* ResolveReference(const WideString& name);
  WideString ReferenceName(const TComponent* target) const;
  void AddError(const std::string& message);
  // "Cannot find class <name>" as the resource store words it.
  std::string CantFindClass(std::u16string_view className);
  // "line 12: <TpgwMemoView Name="Memo3">: " for the element being read, or the object's class
  // and name when no element is being read.
  std::string Place(TPersistent& obj) const;

  TStringList FErrors;
  std::vector<TpgwFixupItem> FFixups;
  TComponent* FOwner = nullptr;
  IpgwSerializedNode* FOwnerNode = nullptr;
  bool FSerializeDefaultValues = false;
  TStream* FStream = nullptr;
  bool FOldFormat = false;
  uint32_t FOldCodePage = 1252;
  bool FHandleNestedProperties = false;
  bool FSaveAncestorOnly = false;
  bool FIgnoreName = false;
  // The element being read (ReadNode) and its line; empty and 0 outside of it.
  std::string FElement;
  int FElementLine = 0;
  // Nodes read in this load, in reading order, for the loaded notifications.
  std::vector<IpgwSerializedNode*> FLoaded;
  std::unordered_set<IpgwSerializedNode*> FLoadedSet;
};

// The attribute text of one object as ObjToXML makes it.
WideString ObjectToXMLAttributes(TPersistent& obj);
// Applies an attribute text to one object (XMLToObj); errors are ignored.
void XMLAttributesToObject(std::u16string_view text, TPersistent& obj);

}  // namespace pagewright
