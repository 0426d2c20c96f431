#pragma once
// A small JSON reader for checking what bmphost prints.
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tooltest {

struct JsonValue {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue> members;

    bool Has(const std::string& key) const { return members.count(key) != 0; }
    // Throws std::out_of_range when the member is missing.
    const JsonValue& operator[](const std::string& key) const { return members.at(key); }
    const JsonValue& operator[](std::size_t index) const { return items.at(index); }
};

// Parses one JSON document (trailing blanks allowed); throws
// std::runtime_error naming the offset of the first fault.
JsonValue ParseJson(const std::string& text);

}  // namespace tooltest
