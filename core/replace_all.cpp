#include "core/replace_all.h"

std::string ReplaceAll(const std::string& text, const std::string& searched, const std::string& replacement)
{
  if (searched == replacement)
    return text;
  if (text.size() <= searched.size() || searched.empty() || text.find(searched) == std::string::npos)
    return text;

  if (replacement.size() > searched.size()) {
    // Rescanning need not end here: a replacement that holds the searched
    // text finds it again, and one that rebuilds it with its neighbours
    // ("ab" by "bbaa" in "aab") grows the text for ever or doubles it per
    // pass ("ba" by "aab"). Once from left to right instead.
    std::string result;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(searched, from)) != std::string::npos; from = at + searched.size()) {
      result.append(text, from, at - from);
      result += replacement;
    }
    result.append(text, from);
    return result;
  }
  std::string result(text);
  // Every pass shortens the text, or keeps its length and moves it the same
  // way in byte order, so rescanning ends. Nothing before the occurrence just
  // replaced was found, so the next one starts at most searched.size() - 1
  // bytes before it: searching from there is searching from the start.
  const std::size_t back = searched.size() - 1;
  for (std::size_t at = result.find(searched); at != std::string::npos;
       at = result.find(searched, at > back ? at - back : 0))
    result.replace(at, searched.size(), replacement);
  return result;
}
