// A small reader for the JSON the host itself writes (saved listings), strict
// enough to refuse anything else with a message.
#pragma once

#include <string>
#include <utility>
#include <vector>

enum class JsonType { Null, Bool, Number, String, Array, Object };

struct JsonValueNode {
    JsonType type = JsonType::Null;
    bool flag = false;
    std::wstring text;  // a string's text, or a number as written
    std::vector<JsonValueNode> elements;
    std::vector<std::pair<std::wstring, JsonValueNode>> members;  // in the order written
};

// False with error set (and the position) when the text is not one JSON value.
bool ParseJson(const std::wstring& text, JsonValueNode& value, std::wstring& error);
