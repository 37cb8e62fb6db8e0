#include "platform/component.h"

#include <algorithm>

#include "platform/ascii_text.h"

TComponent::TComponent(TComponent* owner) : owner_(owner)
{
  if (owner_ != nullptr)
    owner_->InsertComponent(this);
}

TComponent::~TComponent()
{
  // Those that asked are told first, while the owned components still exist.
  while (!freeNotifies_.empty()) {
    TComponent* other = freeNotifies_.back();
    freeNotifies_.pop_back();
    auto it = std::find(other->freeNotifies_.begin(), other->freeNotifies_.end(), this);
    if (it != other->freeNotifies_.end())
      other->freeNotifies_.erase(it);
    other->Notification(this, TOperation::opRemove);
  }
  DestroyComponents();
  if (owner_ != nullptr) {
    TComponent* owner = owner_;
    owner->RemoveComponent(this);
    owner->Notification(this, TOperation::opRemove);
  }
}

void TComponent::Notification(TComponent* component, TOperation operation)
{
  if (operation == TOperation::opRemove && component != nullptr)
    RemoveFreeNotification(component);
  // Backwards, and by index: a handler may destroy what it is told of.
  for (std::size_t i = components_.size(); i-- > 0;) {
    if (i < components_.size() && components_[i] != component)
      components_[i]->Notification(component, operation);
  }
}

void TComponent::FreeNotification(TComponent* component)
{
  if (component == nullptr || component == this)
    return;
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), component) == freeNotifies_.end())
    freeNotifies_.push_back(component);
  if (std::find(component->freeNotifies_.begin(), component->freeNotifies_.end(), this) ==
      component->freeNotifies_.end())
    component->freeNotifies_.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* component)
{
  if (component == nullptr)
    return;
  auto mine = std::find(freeNotifies_.begin(), freeNotifies_.end(), component);
  if (mine != freeNotifies_.end())
    freeNotifies_.erase(mine);
  auto theirs = std::find(component->freeNotifies_.begin(), component->freeNotifies_.end(), this);
  if (theirs != component->freeNotifies_.end())
    component->freeNotifies_.erase(theirs);
}

TComponent* TComponent::FindComponent(const std::string& name) const
{
  if (name.empty())
    return nullptr;
  for (TComponent* component : components_)
    if (SameTextAscii(component->Name(), name))
      return component;
  return nullptr;
}

void TComponent::DestroyComponents()
{
  while (!components_.empty()) {
    TComponent* last = components_.back();
    components_.pop_back();
    last->owner_ = nullptr;
    delete last;
  }
}

void TComponent::InsertComponent(TComponent* component)
{
  components_.push_back(component);
  Notification(component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* component)
{
  auto it = std::find(components_.begin(), components_.end(), component);
  if (it != components_.end())
    components_.erase(it);
}
