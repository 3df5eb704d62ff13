// Reading the JSON descriptions that config and channel take.
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

// Reads and parses the UTF-8 JSON file at path into out. False with error
// set when the file cannot be read, is not well-formed JSON (the error names
// line and column), or an object repeats a member name (JSON would silently
// keep the last one, and a release must not depend on which one that is).
bool ReadJsonFile(const std::string& path, nlohmann::json& out, std::string& error);

// True and value when j is an integer in the 32-bit signed range.
bool JsonToInt32(const nlohmann::json& j, int32_t& value);

// Short name of a JSON value's type for error messages ("a string", ...).
std::string JsonTypeName(const nlohmann::json& j);
