// The script interpreter (unit vm_iinterpreter): the program model the IL document is built
// into, and the objects that run it: declarations, statements, expression trees and designators.
//
// A TvmScript owns every item added to it. Items refer to each other with plain pointers; an
// item never outlives the program that owns it, and routines own their local programs.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/exceptions.h"
#include "platform/types.h"
#include "platform/variant.h"
#include "script/il_parser.h"

namespace pagewright {

class TPersistent;
class TComponent;
class TClassInfo;
class TPropInfo;
class TvmScript;
class TvmParamItem;
class TvmClassVariable;
class TvmStatementList;
class TvmExpression;
class TvmPropertyHelper;
class TvmMethodHelper;
class TStream;

// A script ran past the step budget its host set.
PW_DECLARE_EXCEPTION(EvmStepLimitExceeded, Exception)
// A late-bound member could not be resolved on the value the script gave it.
PW_DECLARE_EXCEPTION(EvmLateBindingError, Exception)

enum TvmVarType : uint8_t {
  fvtInt,
  fvtBool,
  fvtFloat,
  fvtChar,
  fvtString,
  fvtClass,
  fvtArray,
  fvtVariant,
  fvtEnum,
  fvtConstructor,
  fvtInt64
};

enum TvmEmitOp : uint8_t { emNone, emCreate, emFree };

// The texts of the compile messages; the resource store overwrites them (InitScriptInterpreter).
struct TvmMessages {
  WideString SIdRedeclared = u"Identifier redeclared: ";
  WideString SUnknownType = u"Unknown type: ";
  WideString SIncompatibleTypes = u"Incompatible types";
  WideString SIdUndeclared = u"Undeclared identifier: ";
  WideString SClassRequired = u"Class type required";
  WideString SIndexRequired = u"Index required";
  WideString SStringError = u"Strings do not have properties or methods";
  WideString SClassError = u"Class %s does not have a default property";
  WideString SArrayRequired = u"Array type required";
  WideString SVarRequired = u"Variable required";
  WideString SNotEnoughParams = u"Not enough actual parameters";
  WideString STooManyParams = u"Too many actual parameters";
  WideString SLeftCantAssigned = u"Left side cannot be assigned to";
  WideString SForError = u"For loop variable must be numeric variable";
  WideString SEventError = u"Event handler must be a procedure";
};
const TvmMessages& VMMessages();
// Takes the compile messages from the resource store from now on (and registers the script
// languages' grammars). Part of the start-up list.
void InitScriptInterpreter();

// The type code of a type name every program knows without registrations ("Integer", "String",
// "TDateTime" ...); false for other names.
bool BuiltinTypeCode(std::u16string_view name, TvmVarType& typ);

// The full type name of a type code ("Integer", ... ; the class or enumeration name for those).
WideString TypeFullName(TvmVarType typ, const WideString& typeName);

// Every named thing of a program.
class TvmCustomVariable {
 public:
  TvmCustomVariable() = default;
  TvmCustomVariable(const TvmCustomVariable&) = delete;
  TvmCustomVariable& operator=(const TvmCustomVariable&) = delete;
  virtual ~TvmCustomVariable();

  virtual Variant GetValue();
  virtual void SetValue(const Variant& v);
  // The value without a copy, for plain variables; null when the item computes its value.
  virtual const Variant* ValueRef() { return nullptr; }

  WideString Name;
  TvmVarType Typ = fvtVariant;
  WideString TypeName;
  Variant Value = Variant::Null();
  bool IsReadOnly = false;
  bool IsMacro = false;
  TvmCustomVariable* RefItem = nullptr;
  std::vector<TvmParamItem*> Params;
  bool FNeedResult = false;
  intptr_t AddedBy = 0;
  WideString SourcePos;
  WideString SourceUnit;

  int RequiredParamCount() const;
  // Owned parameters of items whose parameters are not items of a local program.
  std::vector<std::unique_ptr<TvmParamItem>> OwnedParams;
};

class TvmVariable : public TvmCustomVariable {
 public:
  Variant GetValue() override { return Value; }
  void SetValue(const Variant& v) override;
  const Variant* ValueRef() override { return &Value; }
};

// Char and String variables hold text whatever they are given.
class TvmStringVariable : public TvmVariable {
 public:
  void SetValue(const Variant& v) override;
};

class TvmTypeVariable : public TvmCustomVariable {
 public:
  // An enumeration registered as a set's members (AddEnumSet): their values are bits.
  bool MaskMembers = false;
};

class TvmParamItem : public TvmVariable {
 public:
  bool IsVarParam = false;
  bool IsOptional = false;
  Variant DefValue = Variant::Null();
};

class TvmProcVariable : public TvmCustomVariable {
 public:
  explicit TvmProcVariable(TvmScript* parent);
  ~TvmProcVariable() override;
  Variant GetValue() override;

  bool IsFunc = false;
  std::unique_ptr<TvmScript> Prog;
  TvmCustomVariable* ResultVar = nullptr;  // the local "Result" of a function
  bool Executing = false;
  std::vector<std::vector<Variant>> SavedLocals;
  void SaveLocals();
  void RestoreLocals(bool keepVarParams);
};

// Host members and accessors, applied to ParentValue.
class TvmCustomHelper : public TvmCustomVariable {
 public:
  TvmClassVariable* ClassRef = nullptr;
  TvmCustomVariable* ParentRef = nullptr;
  Variant ParentValue = Variant::Null();
  TvmScript* Prog = nullptr;
  // The object this member applies to, or null.
  TPersistent* Instance() const;
};

// The element of an array variable; its parameters are the indexes.
class TvmArrayHelper : public TvmCustomHelper {
 public:
  TvmVariable* Array = nullptr;
  Variant GetValue() override;
  void SetValue(const Variant& v) override;
};

// A character of a string; applied to the item before it (ParentRef).
class TvmStringHelper : public TvmCustomHelper {
 public:
  Variant GetValue() override;
  void SetValue(const Variant& v) override;
};

using TvmGetValueEvent =
    std::function<Variant(TPersistent* instance, TvmClassVariable* classRef, const WideString& propName)>;
using TvmSetValueEvent = std::function<void(TPersistent* instance, TvmClassVariable* classRef,
                                            const WideString& propName, const Variant& value)>;
// Receives the argument values (by-reference arguments are copied back after the call).
using TvmCallMethodEvent = std::function<Variant(TPersistent* instance, TvmClassVariable* classRef,
                                                 const WideString& methodName, std::vector<Variant>& params)>;

// Extended callbacks also receive the member: a property callback can tell the members it
// serves apart by more than their names, and a method callback reads its arguments from the
// member's parameters and writes by-reference results back into them.
using TvmGetValueNewEvent = std::function<Variant(TPersistent* instance, TvmClassVariable* classRef,
                                                  const WideString& propName, TvmPropertyHelper& member)>;
using TvmSetValueNewEvent =
    std::function<void(TPersistent* instance, TvmClassVariable* classRef, const WideString& propName,
                       TvmPropertyHelper& member, const Variant& value)>;
using TvmCallMethodNewEvent = std::function<Variant(TPersistent* instance, TvmClassVariable* classRef,
                                                    const WideString& methodName, TvmMethodHelper& member)>;

class TvmPropertyHelper : public TvmCustomHelper {
 public:
  Variant GetValue() override;
  void SetValue(const Variant& v) override;
  const TPropInfo* Published = nullptr;  // a published property, read through its description
  TvmGetValueEvent OnGetValue;
  TvmSetValueEvent OnSetValue;
  TvmGetValueNewEvent OnGetValueNew;
  TvmSetValueNewEvent OnSetValueNew;
};

class TvmMethodHelper : public TvmCustomHelper {
 public:
  Variant GetValue() override;
  void SetValue(const Variant& v) override;  // indexed properties
  WideString Syntax;
  WideString Description;
  WideString Category;
  bool IndexMethod = false;
  TvmCallMethodEvent OnCall;
  TvmCallMethodNewEvent OnCallNew;
  std::vector<Variant> FArgs;
  // The value an extended callback stores when an indexed property is written (".SET").
  Variant SetValueArg = Variant::Null();
};

// A component owned by the object before it, by name.
class TvmComponentHelper : public TvmCustomHelper {
 public:
  Variant GetValue() override;
  void SetValue(const Variant& v) override;
};

// ---- Host events ----------------------------------------------------------------------------

class TvmProcVariable;

// Binds one host object's event to one script procedure. The host keeps a handler that calls
// the adapter; the adapter belongs to the script program, so a program must not be freed while
// an object it gave handlers to can still fire them (or the host removes them first).
class TvmCustomEvent : public TvmCustomVariable {
 public:
  TPersistent* Instance = nullptr;
  TvmProcVariable* Handler = nullptr;

 protected:
  // Passes the event's arguments to the procedure's parameters in order and runs it; the
  // final values of by-reference parameters come back in args.
  void CallHandler(std::vector<Variant>& args);
};

// One adapter class per host event signature; each has a Callback() the host stores.
class TvmNotifyEvent : public TvmCustomEvent {
 public:
  using THostEvent = std::function<void(TPersistent* sender)>;
  void DoEvent(TPersistent* sender);
  THostEvent Callback();
};

class TvmMouseEvent : public TvmCustomEvent {
 public:
  using THostEvent = std::function<void(TPersistent* sender, int button, int shift, int x, int y)>;
  void DoEvent(TPersistent* sender, int button, int shift, int x, int y);
  THostEvent Callback();
};

class TvmMouseMoveEvent : public TvmCustomEvent {
 public:
  using THostEvent = std::function<void(TPersistent* sender, int shift, int x, int y)>;
  void DoEvent(TPersistent* sender, int shift, int x, int y);
  THostEvent Callback();
};

class TvmKeyEvent : public TvmCustomEvent {
 public:
  using THostEvent = std::function<void(TPersistent* sender, uint16_t& key, int shift)>;
  void DoEvent(TPersistent* sender, uint16_t& key, int shift);
  THostEvent Callback();
};

class TvmKeyPressEvent : public TvmCustomEvent {
 public:
  using THostEvent = std::function<void(TPersistent* sender, char16_t& key)>;
  void DoEvent(TPersistent* sender, char16_t& key);
  THostEvent Callback();
};

class TvmCloseEvent : public TvmCustomEvent {
 public:
  using THostEvent = std::function<void(TPersistent* sender, int& action)>;
  void DoEvent(TPersistent* sender, int& action);
  THostEvent Callback();
};

class TvmCloseQueryEvent : public TvmCustomEvent {
 public:
  using THostEvent = std::function<void(TPersistent* sender, bool& canClose)>;
  void DoEvent(TPersistent* sender, bool& canClose);
  THostEvent Callback();
};

class TvmCanResizeEvent : public TvmCustomEvent {
 public:
  using THostEvent = std::function<void(TPersistent* sender, int& newWidth, int& newHeight, bool& resize)>;
  void DoEvent(TPersistent* sender, int& newWidth, int& newHeight, bool& resize);
  THostEvent Callback();
};

// Makes an adapter of one event class.
using TvmEventClass = std::function<std::unique_ptr<TvmCustomEvent>()>;
// Installs an adapter as the object's handler of one event, or removes the handler (null).
using TvmInstallEvent = std::function<void(TPersistent* instance, TvmCustomEvent* adapter)>;

// An event of a host class: reads as the empty string; assigning a procedure's name (the
// address-of form) installs an adapter, assigning nil (0) removes the handler.
class TvmEventHelper : public TvmCustomHelper {
 public:
  Variant GetValue() override;
  void SetValue(const Variant& v) override;
  TvmEventClass EventClass;
  TvmInstallEvent Install;
};

// A registered host class.
class TvmClassVariable : public TvmCustomVariable {
 public:
  TvmClassVariable(TvmScript* prog, const TClassInfo* info, WideString name, WideString ancestor);
  Variant GetValue() override;  // a type cast: the argument unchanged

  const TClassInfo* ClassRef = nullptr;
  WideString Ancestor;
  std::vector<std::unique_ptr<TvmCustomHelper>> Members;
  TvmCustomHelper* DefProperty = nullptr;

  TvmMethodHelper* AddMethod(const WideString& syntax, TvmCallMethodEvent callEvent);
  TvmMethodHelper* AddMethod(const WideString& syntax, TvmCallMethodNewEvent callEvent);
  TvmMethodHelper* AddConstructor(const WideString& syntax, TvmCallMethodEvent callEvent);
  TvmPropertyHelper* AddProperty(const WideString& name, const WideString& typ, TvmGetValueEvent getEvent,
                                 TvmSetValueEvent setEvent = nullptr);
  // A property with extended callbacks; read-only without a setter.
  TvmPropertyHelper* AddPropertyEx(const WideString& name, const WideString& typ, TvmGetValueNewEvent getEvent,
                                   TvmSetValueNewEvent setEvent = nullptr);
  TvmMethodHelper* AddIndexProperty(const WideString& name, const WideString& params, const WideString& typ,
                                    TvmCallMethodEvent callEvent, bool isReadOnly = false);
  TvmMethodHelper* AddDefaultProperty(const WideString& name, const WideString& params, const WideString& typ,
                                      TvmCallMethodEvent callEvent, bool isReadOnly = false);
  // Own members first, then the ancestors'.
  TvmCustomHelper* Find(std::u16string_view name, bool includeComponentHelper = false);
  // Registers a named component owned by this class's objects as a member.
  TvmComponentHelper* AddComponent(const WideString& name, const WideString& className);
  // A host event with the adapter class of its signature, e.g. AddEvent<TvmNotifyEvent>(
  // u"OnChange", install) where install stores adapter->Callback() in the object (or clears it).
  TvmEventHelper* AddEvent(const WideString& name, TvmEventClass eventClass, TvmInstallEvent install);
  template <class TEvent>
  TvmEventHelper* AddEvent(const WideString& name, TvmInstallEvent install) {
    return AddEvent(
        name, [] { return std::unique_ptr<TvmCustomEvent>(std::make_unique<TEvent>()); }, std::move(install));
  }
  // Whether this class is the named class or inherits from it.
  bool InheritsFrom(std::u16string_view className);

 private:
  TvmScript* FProg;
};

// ---- Expressions --------------------------------------------------------------------------

enum TvmOperatorType : uint8_t {
  opNone,
  opGreat,
  opLess,
  opLessEq,
  opGreatEq,
  opNonEq,
  opEq,
  opPlus,
  opMinus,
  opOr,
  opXor,
  opMul,
  opDivFloat,
  opDivInt,
  opMod,
  opAnd,
  opShl,
  opShr,
  opLeftBracket,
  opRightBracket,
  opNot,
  opUnMinus,
  opIn,
  opIs
};

class TvmSetExpression : public TvmCustomVariable {
 public:
  struct Element {
    std::unique_ptr<TvmExpression> Low;
    std::unique_ptr<TvmExpression> High;  // null for a single element
  };
  std::vector<Element> Elements;
  // Every element is a member of a set whose members are bits: the value is their union.
  bool Mask = false;
  bool Contains(const Variant& v);
  // The elements as a variant array, Null at each range gap; with Mask, the union of the bits.
  Variant GetValue() override;
};

struct TvmExpressionNode {
  enum TKind : uint8_t { nkOperator, nkConst, nkVariable, nkDesignator, nkSet };
  TKind Kind = nkOperator;
  TvmOperatorType Op = opNone;
  bool StrCat = false;
  bool FOptimizeBool = false;
  // "in" with a member of a bit-valued set on the left and an integer (a set property) on the
  // right: whether the member's bit is set.
  bool BitTest = false;
  int Priority = 0;
  TvmVarType Typ = fvtVariant;
  WideString TypeName;
  WideString Pos;       // operators: just after the operator, where compile errors point
  WideString StartPos;  // operators: the operator's first character, where run-time errors point
  TvmExpressionNode* Left = nullptr;
  TvmExpressionNode* Right = nullptr;
  TvmExpressionNode* Parent = nullptr;
  Variant Value;                         // constants
  TvmCustomVariable* Operand = nullptr;  // variable, designator or set
};

class TvmExpression : public TvmCustomVariable {
 public:
  Variant GetValue() override;
  TvmExpressionNode* Root = nullptr;
  WideString Source;
  std::vector<std::unique_ptr<TvmExpressionNode>> Nodes;
  std::vector<std::unique_ptr<TvmCustomVariable>> Operands;  // designators and sets
  // The one constant or variable when the expression is nothing else.
  TvmExpressionNode* Single() const {
    return Root && (Root->Kind == TvmExpressionNode::nkConst || Root->Kind == TvmExpressionNode::nkVariable)
               ? Root
               : nullptr;
  }

  static Variant Eval(TvmExpressionNode* n);
};

// ---- Designators --------------------------------------------------------------------------

struct TvmDesignatorItem {
  TvmCustomVariable* Ref = nullptr;
  std::vector<std::unique_ptr<TvmExpression>> Args;
  bool IndexTaken = false;
  WideString Pos;
  // Late binding: without a Ref, the member of this name ("[" for an index) is looked up on
  // the value before it each time the designator runs.
  WideString LateName;
};

class TvmDesignator : public TvmCustomVariable {
 public:
  Variant GetValue() override;
  void SetValue(const Variant& v) override;
  std::vector<TvmDesignatorItem> Items;
  int Kind = 0;  // 1 variable, 2 string character, 3 array element, 0 a chain
  TvmScript* Prog = nullptr;

 private:
  Variant Walk(bool assign, const Variant* newValue);
  void WalkItem(size_t i, Variant& cur, TvmCustomVariable*& prev, bool assign, const Variant* newValue);
  // Resolves and applies late-bound item i (and an index item after it that an indexed
  // member takes); returns the index of the last item used.
  size_t ApplyLate(size_t i, Variant& cur, TvmCustomVariable*& prev, bool assign, const Variant* newValue);
};

// ---- Statements ---------------------------------------------------------------------------

class TvmStatement {
 public:
  virtual ~TvmStatement() = default;
  virtual void Execute() = 0;
  // Reports the line, counts the step; false when the program was terminated.
  bool Enter();
  TvmScript* Prog = nullptr;
  WideString Pos;
  WideString UnitName;
};

class TvmStatementList {
 public:
  void Add(std::unique_ptr<TvmStatement> s) { FItems.push_back(std::move(s)); }
  void Execute(TvmScript* prog);
  void Clear() { FItems.clear(); }
  size_t Count() const { return FItems.size(); }

 private:
  std::vector<std::unique_ptr<TvmStatement>> FItems;
};

// ---- The program --------------------------------------------------------------------------

// A registration module: made once per script by AddRTTI, it registers its items into that
// script (stamped AddedBy = 1) and lives until ClearRTTI or the script's end.
class TvmRTTIModule {
 public:
  explicit TvmRTTIModule(TvmScript* script) : FScript(script) {}
  virtual ~TvmRTTIModule() = default;
  TvmRTTIModule(const TvmRTTIModule&) = delete;
  TvmRTTIModule& operator=(const TvmRTTIModule&) = delete;

 protected:
  TvmScript* FScript;
};
using TvmRTTIModuleClass = std::function<std::unique_ptr<TvmRTTIModule>(TvmScript* script)>;
// The process-wide module list, written only during start-up (the system functions first).
void RegisterRTTIModule(TvmRTTIModuleClass moduleClass);
void ClearRTTIModules();

// ErrorMsg, ErrorPos, ErrorUnit, IncludePath and OnGetUnit come from the IL builder's host.
class TvmScript : public TvmILHost {
 public:
  using TvmRunLineEvent =
      std::function<void(TvmScript& sender, const WideString& unitName, const WideString& pos)>;
  using TvmGetILUnitEvent =
      std::function<void(TvmScript& sender, const WideString& unitName, WideString& ilText)>;

  explicit TvmScript(TvmScript* parent = nullptr);
  ~TvmScript();
  TvmScript(const TvmScript&) = delete;
  TvmScript& operator=(const TvmScript&) = delete;

  // Items ------------------------------------------------------------------------------------
  // Adds an item (stamped AddedBy); an empty name keeps it unnamed. Returns the item.
  TvmCustomVariable* Add(const WideString& name, std::unique_ptr<TvmCustomVariable> item);
  template <class T>
  T* AddItem(const WideString& name, std::unique_ptr<T> item) {
    T* p = item.get();
    Add(name, std::move(item));
    return p;
  }
  TvmCustomVariable* FindLocal(std::u16string_view name) const;
  TvmCustomVariable* Find(std::u16string_view name) const;
  TvmClassVariable* FindClass(std::u16string_view name) const;
  int Count() const { return static_cast<int>(FOwned.size()); }
  TvmCustomVariable* GetItem(int i) const { return FOwned.at(static_cast<size_t>(i)).get(); }

  // Host binding ------------------------------------------------------------------------------
  TvmCustomVariable* AddVariable(const WideString& name, const WideString& typ, const Variant& value);
  TvmCustomVariable* AddObject(const WideString& name, TPersistent* obj);
  TvmCustomVariable* AddConst(const WideString& name, const WideString& typ, const Variant& value);
  TvmCustomVariable* AddType(const WideString& name, TvmVarType parentType);
  void AddEnum(const WideString& typeName, const WideString& names);
  void AddEnumSet(const WideString& typeName, const WideString& names);
  // A host class; its published properties (when it has a description) become members.
  TvmClassVariable* AddClass(const TClassInfo& cls, const WideString& ancestor);
  // A host class known only by name, with members added through callbacks.
  TvmClassVariable* AddClass(const WideString& name, const WideString& ancestor);
  // The class item of a described class, registering it and its ancestors when absent.
  TvmClassVariable* AddClassChain(const TClassInfo& cls);
  // A component with its class, a member for each component it owns (their classes registered
  // too), and the component itself as an object variable named after it.
  void AddComponent(TComponent* form);
  TvmMethodHelper* AddMethod(const WideString& syntax, TvmCallMethodEvent callEvent,
                             const WideString& category = {}, const WideString& description = {});
  TvmMethodHelper* AddMethod(const WideString& syntax, TvmCallMethodNewEvent callEvent,
                             const WideString& category = {}, const WideString& description = {});
  // The language's type names, True, False, nil, Null, the string and array accessors and the
  // exception variables: what every program needs before the system functions.
  void AddBasicTypes();

  Variant GetVariable(std::u16string_view name) const;
  void SetVariable(const WideString& name, const Variant& value);

  // Compiling and running --------------------------------------------------------------------
  bool Compile();
  void Execute();
  bool Run();
  void Terminate();
  Variant Evaluate(const WideString& expression);
  Variant CallFunction(const WideString& name, const Variant& params, bool sGlobal = false);
  // Also copies every parameter's final value back into params.
  Variant CallFunction1(const WideString& name, Variant& params, bool sGlobal = false);
  Variant CallFunction2(TvmProcVariable* func, const Variant& params);
  // Builds the IL document into this program (ErrorMsg tells of failure).
  bool SetILCode(const TvmILNode& root);
  // The same from an IL document written by GetILCode (a document that cannot be read sets
  // ErrorMsg too).
  bool SetILCode(TStream& stream);
  // Translates Lines into the IL document, as Compile does, and writes the document to the
  // stream instead of building it; false (ErrorMsg, ErrorPos) when the text does not translate.
  bool GetILCode(TStream& stream);

  // Makes every registered module once / frees the modules and their items.
  void AddRTTI();
  void ClearRTTI();
  bool HasRTTI() const { return !FModules.empty(); }

  void Clear();
  void RemoveItems(intptr_t owner);
  void ClearItems(intptr_t owner);
  bool IsExecutableLine(int lineN, const WideString& unitName = {}) const;
  void AddCodeLine(const WideString& unitName, const WideString& pos);

  // Properties ---------------------------------------------------------------------------------
  TvmScript* Parent = nullptr;
  TvmStatementList Statement;
  WideString Lines;
  WideString SyntaxType = u"PascalScript";
  // Class name of the last run-time error ("" after a compile error or none).
  WideString ErrorClassName;
  // Where inside the statement at ErrorPos the last run-time error was raised: the operator
  // or the call that failed (the statement's own position when nothing finer is known).
  WideString ErrorDetailPos;
  bool MainProg = false;
  TvmScript* ProgRunning = nullptr;
  WideString ProgName;
  bool IsRunning = false;
  bool FExitCalled = false;
  bool FBreakCalled = false;
  bool FContinueCalled = false;
  bool FTerminated = false;
  WideString FLastSourcePos;
  intptr_t AddedBy = 0;
  bool ExtendedCharset = false;
  bool UseClassLateBinding = false;
  bool ClearLocalVars = false;
  bool EvaluteRiseError = false;
  TvmRunLineEvent OnRunLine;
  TvmGetILUnitEvent OnGetILUnit;

  // Guards. Calls nested deeper than MaxCallDepth raise EStackOverflow, and so does a call
  // when half the thread's stack is used (whatever MaxCallDepth says); a StepLimit above 0
  // raises EvmStepLimitExceeded once that many statements ran in one Execute or call.
  int MaxCallDepth = 1000;
  int64_t StepLimit = 0;
  // Above 0: a concatenation that makes a longer string (in UTF-16 code units) raises
  // EOutOfMemory, so that a script doubling a string cannot take all memory.
  size_t MaxStringLength = 0;

  // Run state shared through the main program.
  int FCallDepth = 0;
  int64_t FSteps = 0;
  uintptr_t FStackBase = 0;  // where the outermost call or Execute began
  // An error is on its way out and its position was recorded where it was raised.
  bool FErrorPending = false;

  // The top of the Parent chain.
  TvmScript* Root();
  // The program with MainProg up the Parent chain (or the top).
  TvmScript* MainProgram();

 private:
  friend class TvmILCompiler;
  // Upper-case name to item; a new entry goes before equal ones, so that it is found first.
  std::multimap<WideString, TvmCustomVariable*, std::less<>> FNames;
  std::vector<std::unique_ptr<TvmCustomVariable>> FOwned;
  std::vector<std::pair<WideString, std::vector<int>>> FUnitLines;
  std::vector<std::unique_ptr<TvmRTTIModule>> FModules;
  void RemoveAt(size_t index);
};

}  // namespace pagewright
