#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

// Just enough JSON for the tests to read the reference service's records.
// Strings are kept as the bytes of their code points below 256 (the service
// writes Latin-1 text, so every wire byte comes back as one char).
class JsonValue {
public:
  enum class Kind { Null, Bool, Number, String, Array, Object };

  static JsonValue Parse(const std::string& text);  // throws std::runtime_error

  Kind kind() const { return kind_; }
  bool IsNull() const { return kind_ == Kind::Null; }
  bool AsBool() const;
  double AsNumber() const;
  const std::string& AsString() const;
  const std::vector<JsonValue>& AsArray() const;

  bool Has(const std::string& key) const;
  // Missing keys give a null value.
  const JsonValue& operator[](const std::string& key) const;
  // Object keys in the order they appeared.
  const std::vector<std::string>& Keys() const { return keys_; }

private:
  friend class JsonParser;
  Kind kind_ = Kind::Null;
  bool bool_ = false;
  double number_ = 0;
  std::string string_;
  std::vector<JsonValue> array_;
  std::vector<std::string> keys_;
  std::map<std::string, JsonValue> object_;
};

// Quotes a text as a JSON string; bytes above 0x7F become \u00XX (Latin-1).
std::string JsonQuote(const std::string& text);
