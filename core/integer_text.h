#pragma once

#include <cstdint>
#include <string>

std::string IntToText(std::int32_t value);
// Empty text gives 1; otherwise the platform's strict signed 32-bit conversion,
// throwing EConvertError (platform/text_to_int.h) "'<text>' ist kein gültiger
// Integerwert".
std::int32_t TextToIntOrOne(const std::string& text);
