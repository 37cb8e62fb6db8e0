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

// A component belongs to its owner, which destroys it (last created first)
// when the owner itself is destroyed. Destroying a component directly also
// takes it out of its owner's list.
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
};
