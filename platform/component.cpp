#include "platform/component.h"

#include <algorithm>

namespace {

bool SameTextAscii(const std::string& a, const std::string& b)
{
  auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [&](char x, char y) { return lower(static_cast<unsigned char>(x)) == lower(static_cast<unsigned char>(y)); });
}

}  // namespace

TComponent::TComponent(TComponent* owner) : owner_(owner)
{
  if (owner_ != nullptr)
    owner_->InsertComponent(this);
}

TComponent::~TComponent()
{
  DestroyComponents();
  if (owner_ != nullptr)
    owner_->RemoveComponent(this);
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
}

void TComponent::RemoveComponent(TComponent* component)
{
  auto it = std::find(components_.begin(), components_.end(), component);
  if (it != components_.end())
    components_.erase(it);
}
