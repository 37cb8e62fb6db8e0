#include "platform/forms/string_list.h"

#include <stdexcept>
#include <string>

void TStrings::CheckIndex(int index) const
{
  if (index < 0 || index >= Count())
    throw std::out_of_range("list index " + std::to_string(index) + " out of range (" + std::to_string(Count()) +
                            " items)");
}

const std::string& TStrings::Strings(int index) const
{
  CheckIndex(index);
  return items_[static_cast<std::size_t>(index)];
}

int TStrings::Add(const std::string& value)
{
  Insert(Count(), value);
  return Count() - 1;
}

void TStrings::Insert(int index, const std::string& value)
{
  if (index < 0 || index > Count())
    throw std::out_of_range("insert position " + std::to_string(index) + " out of range (" + std::to_string(Count()) +
                            " items)");
  items_.insert(items_.begin() + index, value);
  if (OnInsert)
    OnInsert(index, value);
}

void TStrings::Delete(int index)
{
  CheckIndex(index);
  items_.erase(items_.begin() + index);
  if (OnDelete)
    OnDelete(index);
}

void TStrings::Clear()
{
  items_.clear();
  if (OnClear)
    OnClear();
}

int TStrings::IndexOf(const std::string& value) const
{
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (items_[i] == value)
      return static_cast<int>(i);
  return -1;
}

void CheckItemIndex(int value, int count)
{
  if (value < -1 || value >= count)
    throw std::out_of_range("item index " + std::to_string(value) + " out of range (" + std::to_string(count) +
                            " items)");
}
