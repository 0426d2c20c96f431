#include "JsonValue.h"

#include <cstdlib>
#include <stdexcept>

namespace tooltest {

namespace {

class Parser {
  public:
    explicit Parser(const std::string& text) : m_text(text) {}

    JsonValue Document() {
        JsonValue value = Value();
        Blanks();
        if (m_pos != m_text.size()) Fail("text after the value");
        return value;
    }

  private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(m_pos));
    }
    void Blanks() {
        while (m_pos < m_text.size() &&
               std::string(" \t\r\n").find(m_text[m_pos]) != std::string::npos)
            ++m_pos;
    }
    bool Take(const std::string& word) {
        if (m_text.compare(m_pos, word.size(), word) != 0) return false;
        m_pos += word.size();
        return true;
    }
    void Expect(char c) {
        Blanks();
        if (m_pos >= m_text.size() || m_text[m_pos] != c) Fail(std::string("expected ") + c);
        ++m_pos;
    }

    JsonValue Value() {
        Blanks();
        if (m_pos >= m_text.size()) Fail("unexpected end");
        JsonValue v;
        const char c = m_text[m_pos];
        if (c == '{') {
            v.kind = JsonValue::Object;
            ++m_pos;
            Blanks();
            if (Take("}")) return v;
            do {
                Blanks();
                const std::string key = StringBody();
                Expect(':');
                v.members[key] = Value();
                Blanks();
            } while (Take(","));
            Expect('}');
        } else if (c == '[') {
            v.kind = JsonValue::Array;
            ++m_pos;
            Blanks();
            if (Take("]")) return v;
            do {
                v.items.push_back(Value());
                Blanks();
            } while (Take(","));
            Expect(']');
        } else if (c == '"') {
            v.kind = JsonValue::String;
            v.text = StringBody();
        } else if (Take("true")) {
            v.kind = JsonValue::Bool;
            v.boolean = true;
        } else if (Take("false")) {
            v.kind = JsonValue::Bool;
        } else if (Take("null")) {
            v.kind = JsonValue::Null;
        } else {
            const char* start = m_text.c_str() + m_pos;
            char* end = nullptr;
            v.kind = JsonValue::Number;
            v.number = std::strtod(start, &end);
            if (end == start) Fail("not a value");
            m_pos += static_cast<std::size_t>(end - start);
        }
        return v;
    }

    std::string StringBody() {
        if (m_pos >= m_text.size() || m_text[m_pos] != '"') Fail("expected a string");
        ++m_pos;
        std::string out;
        while (true) {
            if (m_pos >= m_text.size()) Fail("unterminated string");
            const char c = m_text[m_pos++];
            if (c == '"') return out;
            if (static_cast<unsigned char>(c) < 0x20) Fail("control character in a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_pos >= m_text.size()) Fail("unterminated escape");
            const char e = m_text[m_pos++];
            switch (e) {
                case '"':
                    out += '"';
                    break;
                case '\\':
                    out += '\\';
                    break;
                case '/':
                    out += '/';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'u': {
                    if (m_pos + 4 > m_text.size()) Fail("short \\u escape");
                    const long code = std::strtol(m_text.substr(m_pos, 4).c_str(), nullptr, 16);
                    m_pos += 4;
                    if (code > 0xFF) Fail("\\u escape beyond one byte");  // bmphost escapes bytes
                    out += static_cast<char>(code);
                    break;
                }
                default:
                    Fail("unknown escape");
            }
        }
    }

    const std::string& m_text;
    std::size_t m_pos = 0;
};

}  // namespace

JsonValue ParseJson(const std::string& text) { return Parser(text).Document(); }

}  // namespace tooltest
