// The component base: persistent objects with a class description, and components with a
// name, an owner, owned components and free notification.
//
// Ownership. A component's owner and its destroyer are two separate roles:
//  - The owner (constructor argument, InsertComponent/RemoveComponent) lists the component
//    for lookup by name (FindComponent), keeps names unique among its components, and
//    broadcasts insert/remove notifications to them.
//  - Who destroys the component is fixed at construction by TLifetime. With
//    TLifetime::ByOwner (the default) the owner deletes its components when it is destroyed,
//    last first; a component created without an owner belongs to whoever created it (usually
//    a std::unique_ptr). With TLifetime::External something else holds the component -- a
//    report node is held by its parent's std::unique_ptr child list while the report root is
//    its owner for names -- and the owner only forgets it when the owner goes first.
// Either way, deleting a component at any time is safe: its destructor removes it from its
// owner's list and notifies every component registered through FreeNotification, so no
// non-owning pointer to it survives. A holder of an External component must likewise let go
// of it when the component is deleted by other means.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/types.h"

namespace pagewright {

class TClassInfo;
class TFiler;
class TComponent;

// Base of every object whose published properties are described (components and the
// persistent sub-objects they hold, such as frames and fonts). Each class with published
// properties declares `static const TClassInfo& StaticClassInfo();` and overrides ClassInfo()
// to return it; the table itself is written with the builder of platform/properties.h.
class TPersistent {
 public:
  TPersistent() = default;
  TPersistent(const TPersistent&) = delete;
  TPersistent& operator=(const TPersistent&) = delete;
  virtual ~TPersistent() = default;

  static const TClassInfo& StaticClassInfo();
  virtual const TClassInfo& ClassInfo() const;
  // The class name as templates and scripts spell it (from the class description).
  virtual const std::string& ClassName() const;
  bool InheritsFrom(const TClassInfo& cls) const;

  // Copies the state of `source`; the base raises EConvertError "Cannot assign a X to a Y".
  virtual void Assign(const TPersistent& source);
  // Describes the extra, non-published properties the object stores in the binary property
  // stream (platform/property_stream.h); the base stores none.
  virtual void DefineProperties(TFiler& filer);
};

enum TOperation : uint8_t { opInsert, opRemove };

enum TComponentStateFlag : uint8_t {
  csLoading,
  csReading,
  csWriting,
  csDestroying,
  csDesigning,
  csAncestor,
  csUpdating,
  csFixups,
  csFreeNotification,
  csInline,
  csDesignInstance
};
using TComponentState = Set<TComponentStateFlag>;

enum class TLifetime : uint8_t { ByOwner, External };

class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* owner = nullptr, TLifetime lifetime = TLifetime::ByOwner);
  ~TComponent() override;

  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;

  // Name: empty, or an identifier (letters, digits, underscore; not starting with a digit),
  // unique among the owner's components without regard to case.
  const WideString& Name() const { return FName; }
  virtual void SetName(const WideString& name);
  intptr_t Tag() const { return FTag; }
  void SetTag(intptr_t v) { FTag = v; }

  TComponent* Owner() const { return FOwner; }
  TLifetime Lifetime() const { return FLifetime; }
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int index) const;
  int ComponentIndex() const;  // position in the owner's list, -1 without owner
  // The owned component of that name (case-insensitive), or null; an empty name finds nothing.
  TComponent* FindComponent(std::u16string_view name) const;

  // Takes `c` into this owner's list (c leaves its old owner first); raises EDuplicateName
  // when the name is taken. Lifetime is unchanged.
  void InsertComponent(TComponent* c);
  void RemoveComponent(TComponent* c);
  // Destroys the owned components that this owner is responsible for (last first) and
  // forgets the others. Derived destructors may call it while their own state is alive.
  void DestroyComponents();

  // Mutual registration: each of the two is told (Notification with opRemove) when the other
  // is destroyed, so it can clear its pointer.
  void FreeNotification(TComponent* c);
  void RemoveFreeNotification(TComponent* c);

  TComponentState ComponentState() const { return FComponentState; }
  void SetComponentStateFlag(TComponentStateFlag f, bool on);
  // Called by a loader after all properties and references are applied.
  virtual void Loaded();

  static bool IsValidIdent(std::u16string_view s);

 protected:
  // Marks the component as going away. A derived destructor that releases components it holds
  // itself (a child list) calls it first, so that their removal is not broadcast to the
  // remaining components one by one.
  void Destroying() { FComponentState.Include(csDestroying); }
  // `c` was inserted into or is being removed from this owner, or (opRemove) a component
  // registered through FreeNotification is being destroyed. The base forgets the free
  // notification and passes owner-list events on to the owned components; overrides clear
  // their non-owning pointers to `c` and call the base.
  virtual void Notification(TComponent* c, TOperation op);
  // Raises when `newName` may not be given to `c`, one of this owner's components (or to
  // this component itself when `c` is null and there is no owner).
  virtual void ValidateRename(TComponent* c, std::u16string_view curName, std::u16string_view newName) const;

 private:
  void IndexName(TComponent* c);
  void UnindexName(TComponent* c);
  void RemoveFromList(TComponent* c);

  WideString FName;
  intptr_t FTag = 0;
  TComponent* FOwner = nullptr;
  TLifetime FLifetime;
  TComponentState FComponentState;
  std::vector<TComponent*> FComponents;
  std::unordered_map<WideString, TComponent*> FNameIndex;  // upper-case name -> owned component
  std::vector<TComponent*> FFreeNotifies;
};

// ASCII upper case (component, class and property names are ASCII identifiers).
WideString UpperName(std::u16string_view s);
bool SameName(std::u16string_view a, std::u16string_view b);

// The one way to put a new component into a tree: makes a T held by `owner` (its component list,
// or for report objects the parent node's child list) and returns it; the owner destroys it.
// Objects without an owner are made as std::make_unique<T>(nullptr), by class name through
// TClassInfo::Create and TClassInfo::CreateChild.
template <class T, class... Args>
T& CreateChild(TComponent& owner, Args&&... args) {
  static_assert(std::is_base_of_v<TComponent, T>, "only components have an owner");
  return *new T(&owner, std::forward<Args>(args)...);
}

}  // namespace pagewright
