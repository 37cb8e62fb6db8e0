#pragma once

#include <functional>
#include <string>
#include <vector>

// A list of texts that a list or combo box shows; changes reach the box's
// window at once.
class TStrings {
public:
  int Count() const { return static_cast<int>(items_.size()); }
  // Out-of-range indexes raise std::out_of_range.
  const std::string& operator[](int index) const { return Strings(index); }
  const std::string& Strings(int index) const;
  // Appends; returns the new item's index.
  int Add(const std::string& value);
  void Insert(int index, const std::string& value);
  void Delete(int index);
  void Clear();
  // Exact comparison; -1 when absent.
  int IndexOf(const std::string& value) const;
  const std::vector<std::string>& Values() const { return items_; }

  // Set by the box that shows the list.
  std::function<void(int index, const std::string& value)> OnInsert;
  std::function<void(int index)> OnDelete;
  std::function<void()> OnClear;

private:
  void CheckIndex(int index) const;

  std::vector<std::string> items_;
};

// Raises std::out_of_range unless value is -1 (no choice) or an index of a
// list of count items: the choice of a list or combo box.
void CheckItemIndex(int value, int count);
