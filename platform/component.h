#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Root of the class hierarchy; event handlers receive their Sender as TObject*.
class TObject {
public:
  virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

enum class TOperation { opInsert, opRemove };
using enum TOperation;

// A component belongs to its owner, which destroys it (last created first)
// when the owner itself is destroyed. Destroying a component directly also
// takes it out of its owner's list.
//
// Notification: a component that is inserted into or removed from an owner
// is announced to the owner, which passes it on to everything it owns (so
// components of one form hear of each other). A component that refers to one
// it does not own calls FreeNotification(other) and hears of that one's
// destruction through Notification(other, opRemove) wherever it lives. When
// an owner destroys its components (DestroyComponents) they are not announced
// to each other; free notifications still arrive.
class TComponent : public TObject {
public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;

  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }

  std::intptr_t Tag() const { return tag_; }
  void SetTag(std::intptr_t tag) { tag_ = tag; }

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const { return components_.at(static_cast<std::size_t>(index)); }
  // Names are compared without regard to case, as component names are.
  TComponent* FindComponent(const std::string& name) const;

  // Destroys every owned component, last first.
  void DestroyComponents();

  // Told of components inserted into or removed from the owner, and of the
  // destruction of components registered with FreeNotification. Overrides
  // call the inherited one, which passes it on to the owned components.
  virtual void Notification(TComponent* component, TOperation operation);
  // Both sides hear of the other's destruction; asking twice is asking once.
  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);

  // Runs once the most derived constructor has finished (see
  // TApplication::CreateForm); data modules fire their OnCreate here.
  virtual void AfterConstruction() {}

private:
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);

  TComponent* owner_;
  std::string name_;
  std::intptr_t tag_ = 0;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
};
