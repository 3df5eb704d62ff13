#include "tools/qvpublish/JsonInput.h"

#include <climits>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

using nlohmann::json;

bool ReadJsonFile(const std::string& path, json& out, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        error = "cannot read " + path;
        return false;
    }

    // One set of member names per open object: keys always belong to the
    // innermost object still open.
    std::vector<std::set<std::string>> open;
    std::string duplicate;
    auto watch = [&](int, json::parse_event_t event, json& parsed) {
        if (event == json::parse_event_t::object_start)
            open.emplace_back();
        else if (event == json::parse_event_t::object_end && !open.empty())
            open.pop_back();
        else if (event == json::parse_event_t::key && !open.empty() && duplicate.empty()) {
            std::string name = parsed.get<std::string>();
            if (!open.back().insert(name).second)
                duplicate = name;
        }
        return true;
    };
    try {
        out = json::parse(text.str(), watch);
    } catch (const json::parse_error& e) {
        // e.what() reads "[json.exception.parse_error.101] parse error at line L, column C: ..."
        std::string what = e.what();
        size_t at = what.find("] ");
        error = path + ": " + (at == std::string::npos ? what : what.substr(at + 2));
        return false;
    }
    if (!duplicate.empty()) {
        error = path + ": member \"" + duplicate + "\" appears twice in one object";
        return false;
    }
    return true;
}

bool JsonToInt32(const json& j, int32_t& value)
{
    if (!j.is_number_integer())
        return false;
    if (j.is_number_unsigned()) {
        if (j.get<unsigned long long>() > INT32_MAX)
            return false;
    } else if (j.get<long long>() < INT32_MIN || j.get<long long>() > INT32_MAX) {
        return false;
    }
    value = static_cast<int32_t>(j.get<long long>());
    return true;
}

std::string JsonTypeName(const json& j)
{
    switch (j.type()) {
    case json::value_t::null: return "null";
    case json::value_t::boolean: return "a boolean";
    case json::value_t::string: return "a string";
    case json::value_t::array: return "an array";
    case json::value_t::object: return "an object";
    case json::value_t::number_float: return "a fractional number";
    default: return "a number";
    }
}
