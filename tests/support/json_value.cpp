#include "tests/support/json_value.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

class JsonParser {
public:
  explicit JsonParser(const std::string& text) : text_(text) {}

  JsonValue ParseDocument()
  {
    JsonValue value = ParseValue();
    SkipBlanks();
    if (pos_ != text_.size())
      Fail("trailing characters");
    return value;
  }

private:
  [[noreturn]] void Fail(const char* what) const
  {
    throw std::runtime_error(std::string("JSON: ") + what + " at offset " + std::to_string(pos_));
  }

  void SkipBlanks()
  {
    while (pos_ < text_.size() &&
           (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n' || text_[pos_] == '\r'))
      ++pos_;
  }

  bool Consume(const char* word)
  {
    const std::string w(word);
    if (text_.compare(pos_, w.size(), w) != 0)
      return false;
    pos_ += w.size();
    return true;
  }

  JsonValue ParseValue()
  {
    SkipBlanks();
    if (pos_ >= text_.size())
      Fail("unexpected end");
    JsonValue value;
    const char c = text_[pos_];
    if (c == '{') {
      value.kind_ = JsonValue::Kind::Object;
      ++pos_;
      SkipBlanks();
      if (pos_ < text_.size() && text_[pos_] == '}') {
        ++pos_;
        return value;
      }
      for (;;) {
        SkipBlanks();
        std::string key = ParseString();
        SkipBlanks();
        if (pos_ >= text_.size() || text_[pos_++] != ':')
          Fail("expected ':'");
        JsonValue member = ParseValue();
        if (value.object_.count(key) == 0)
          value.keys_.push_back(key);
        value.object_[key] = std::move(member);
        SkipBlanks();
        if (pos_ < text_.size() && text_[pos_] == ',') {
          ++pos_;
          continue;
        }
        if (pos_ < text_.size() && text_[pos_] == '}') {
          ++pos_;
          return value;
        }
        Fail("expected ',' or '}'");
      }
    }
    if (c == '[') {
      value.kind_ = JsonValue::Kind::Array;
      ++pos_;
      SkipBlanks();
      if (pos_ < text_.size() && text_[pos_] == ']') {
        ++pos_;
        return value;
      }
      for (;;) {
        value.array_.push_back(ParseValue());
        SkipBlanks();
        if (pos_ < text_.size() && text_[pos_] == ',') {
          ++pos_;
          continue;
        }
        if (pos_ < text_.size() && text_[pos_] == ']') {
          ++pos_;
          return value;
        }
        Fail("expected ',' or ']'");
      }
    }
    if (c == '"') {
      value.kind_ = JsonValue::Kind::String;
      value.string_ = ParseString();
      return value;
    }
    if (Consume("true")) {
      value.kind_ = JsonValue::Kind::Bool;
      value.bool_ = true;
      return value;
    }
    if (Consume("false")) {
      value.kind_ = JsonValue::Kind::Bool;
      return value;
    }
    if (Consume("null"))
      return value;
    char* end = nullptr;
    value.number_ = std::strtod(text_.c_str() + pos_, &end);
    if (end == text_.c_str() + pos_)
      Fail("unexpected character");
    value.kind_ = JsonValue::Kind::Number;
    pos_ = static_cast<std::size_t>(end - text_.c_str());
    return value;
  }

  unsigned ParseHex4()
  {
    if (pos_ + 4 > text_.size())
      Fail("short \\u escape");
    unsigned code = 0;
    for (int i = 0; i < 4; ++i) {
      const char h = text_[pos_++];
      code <<= 4;
      if (h >= '0' && h <= '9')
        code |= static_cast<unsigned>(h - '0');
      else if (h >= 'a' && h <= 'f')
        code |= static_cast<unsigned>(h - 'a' + 10);
      else if (h >= 'A' && h <= 'F')
        code |= static_cast<unsigned>(h - 'A' + 10);
      else
        Fail("bad \\u escape");
    }
    return code;
  }

  std::string ParseString()
  {
    if (pos_ >= text_.size() || text_[pos_] != '"')
      Fail("expected a string");
    ++pos_;
    std::string out;
    while (pos_ < text_.size()) {
      const char c = text_[pos_++];
      if (c == '"')
        return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= text_.size())
        break;
      const char e = text_[pos_++];
      switch (e) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'b': out += '\b'; break;
      case 'f': out += '\f'; break;
      case 'u': {
        const unsigned code = ParseHex4();
        out += code < 256 ? static_cast<char>(code) : '?';
        break;
      }
      default: out += e; break;
      }
    }
    Fail("unterminated string");
  }

  const std::string& text_;
  std::size_t pos_ = 0;
};

JsonValue JsonValue::Parse(const std::string& text)
{
  return JsonParser(text).ParseDocument();
}

bool JsonValue::AsBool() const
{
  if (kind_ != Kind::Bool)
    throw std::runtime_error("JSON: not a Boolean");
  return bool_;
}

double JsonValue::AsNumber() const
{
  if (kind_ != Kind::Number)
    throw std::runtime_error("JSON: not a number");
  return number_;
}

const std::string& JsonValue::AsString() const
{
  if (kind_ != Kind::String)
    throw std::runtime_error("JSON: not a string");
  return string_;
}

const std::vector<JsonValue>& JsonValue::AsArray() const
{
  if (kind_ != Kind::Array)
    throw std::runtime_error("JSON: not an array");
  return array_;
}

bool JsonValue::Has(const std::string& key) const
{
  return kind_ == Kind::Object && object_.count(key) != 0;
}

const JsonValue& JsonValue::operator[](const std::string& key) const
{
  static const JsonValue null;
  if (kind_ != Kind::Object)
    return null;
  auto it = object_.find(key);
  return it == object_.end() ? null : it->second;
}

std::string JsonQuote(const std::string& text)
{
  std::string out = "\"";
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c >= 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}
