#pragma once
// The few pieces of JSON text the host prints.
#include <cstddef>
#include <string>
#include <vector>

namespace bmphost {

// A quoted JSON string; control characters and non-ASCII bytes are escaped
// so that any byte sequence the module hands over survives.
std::string JsonString(const std::string& text);

// The shortest decimal form that reads back as the same double, always with a
// fraction or exponent so that it reads as a number with a point ("1.0").
std::string JsonNumber(double value);

// Lower-case hex digits of the bytes.
std::string Hex(const unsigned char* bytes, std::size_t count);

// "[a, b, c]" from already formatted items.
std::string JsonList(const std::vector<std::string>& items);

}  // namespace bmphost
