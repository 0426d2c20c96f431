#include "DialogTemplate.h"

#include <sstream>

namespace winhost {

namespace {

constexpr std::uint16_t kPredefinedButtonClass = 0x0080;
constexpr std::uint32_t kSetFont = 0x40;  // DS_SETFONT: the font fields are present

class Cursor {
  public:
    explicit Cursor(const Bytes& data) : m_data(data) {}
    bool U8(std::uint8_t& out) {
        if (m_at + 1 > m_data.size()) return false;
        out = m_data[m_at++];
        return true;
    }
    bool U16(std::uint16_t& out) {
        if (m_at + 2 > m_data.size()) return false;
        out = static_cast<std::uint16_t>(m_data[m_at] | (m_data[m_at + 1] << 8));
        m_at += 2;
        return true;
    }
    bool I16(std::int16_t& out) {
        std::uint16_t v;
        if (!U16(v)) return false;
        out = static_cast<std::int16_t>(v);
        return true;
    }
    bool U32(std::uint32_t& out) {
        std::uint16_t lo, hi;
        if (!U16(lo) || !U16(hi)) return false;
        out = lo | (std::uint32_t(hi) << 16);
        return true;
    }
    // A zero-terminated UTF-16 string.
    bool Text(std::string& out) {
        out.clear();
        for (;;) {
            std::uint16_t c;
            if (!U16(c)) return false;
            if (c == 0) return true;
            out += c < 0x80 ? static_cast<char>(c) : '?';
        }
    }
    // Nothing (0x0000), an ordinal (0xFFFF then a number, given as "#n") or a text.
    bool TextOrOrdinal(std::string& out) {
        std::uint16_t first;
        if (m_at + 2 > m_data.size()) return false;
        first = static_cast<std::uint16_t>(m_data[m_at] | (m_data[m_at + 1] << 8));
        if (first == 0xFFFF) {
            std::uint16_t ordinal;
            m_at += 2;
            if (!U16(ordinal)) return false;
            out = "#" + std::to_string(ordinal);
            return true;
        }
        return Text(out);
    }
    void AlignToDword() { m_at = (m_at + 3) & ~std::size_t(3); }
    bool Skip(std::size_t count) {
        if (m_at + count > m_data.size()) return false;
        m_at += count;
        return true;
    }
    bool AtEnd() const { return m_at >= m_data.size(); }

  private:
    const Bytes& m_data;
    std::size_t m_at = 0;
};

DialogTemplate Dialog(std::int16_t x, std::int16_t y, std::int16_t cx, std::int16_t cy,
                      const char* title, std::vector<DialogControl> controls) {
    DialogTemplate d;
    d.version = 1;
    d.signature = 0xFFFF;
    d.style = 0x80C800C8;  // popup, caption, system menu, modal frame, set-font, fixed-system
    d.x = x;
    d.y = y;
    d.cx = cx;
    d.cy = cy;
    d.title = title;
    d.pointSize = 8;
    d.weight = 400;
    d.charset = 1;
    d.typeface = "MS Shell Dlg";
    d.controls = std::move(controls);
    return d;
}

DialogControl Button(const char* title, std::uint32_t id, std::uint32_t style, std::int16_t x,
                     std::int16_t y, std::int16_t cx, std::int16_t cy) {
    DialogControl c;
    c.style = style;
    c.x = x;
    c.y = y;
    c.cx = cx;
    c.cy = cy;
    c.id = id;
    c.windowClass = "#" + std::to_string(kPredefinedButtonClass);
    c.title = title;
    return c;
}

template <typename T>
void Check(std::vector<std::string>& out, const std::string& what, const T& expected,
           const T& actual) {
    if (expected == actual) return;
    std::ostringstream line;
    line << what << ": expected " << +expected << ", found " << +actual;
    out.push_back(line.str());
}

void CheckHex(std::vector<std::string>& out, const std::string& what, std::uint32_t expected,
              std::uint32_t actual) {
    if (expected == actual) return;
    std::ostringstream line;
    line << std::hex << std::uppercase << what << ": expected 0x" << expected << ", found 0x"
         << actual;
    out.push_back(line.str());
}

void CheckText(std::vector<std::string>& out, const std::string& what, const std::string& expected,
               const std::string& actual) {
    if (expected != actual)
        out.push_back(what + ": expected \"" + expected + "\", found \"" + actual + "\"");
}

}  // namespace

bool ParseDialogTemplate(const Bytes& data, DialogTemplate& d, std::string& error) {
    d = DialogTemplate();
    Cursor in(data);
    std::uint16_t count;
    if (!in.U16(d.version) || !in.U16(d.signature) || d.version != 1 || d.signature != 0xFFFF) {
        error = "not an extended dialog template";
        return false;
    }
    if (!in.U32(d.helpId) || !in.U32(d.exStyle) || !in.U32(d.style) || !in.U16(count) ||
        !in.I16(d.x) || !in.I16(d.y) || !in.I16(d.cx) || !in.I16(d.cy) ||
        !in.TextOrOrdinal(d.menu) || !in.TextOrOrdinal(d.windowClass) || !in.Text(d.title)) {
        error = "truncated dialog header";
        return false;
    }
    if ((d.style & kSetFont) != 0) {
        if (!in.U16(d.pointSize) || !in.U16(d.weight) || !in.U8(d.italic) || !in.U8(d.charset) ||
            !in.Text(d.typeface)) {
            error = "truncated font fields";
            return false;
        }
    }
    for (std::uint16_t i = 0; i < count; ++i) {
        in.AlignToDword();
        DialogControl c;
        if (!in.U32(c.helpId) || !in.U32(c.exStyle) || !in.U32(c.style) || !in.I16(c.x) ||
            !in.I16(c.y) || !in.I16(c.cx) || !in.I16(c.cy) || !in.U32(c.id) ||
            !in.TextOrOrdinal(c.windowClass) || !in.TextOrOrdinal(c.title) ||
            !in.U16(c.extraCount) || !in.Skip(c.extraCount)) {
            error = "truncated control " + std::to_string(i + 1);
            return false;
        }
        d.controls.push_back(c);
    }
    in.AlignToDword();
    if (!in.AtEnd()) {
        error = "bytes left after the last control";
        return false;
    }
    return true;
}

std::vector<ExpectedDialog> ExpectedDialogs() {
    return {
        {100, Dialog(49, 44, 229, 55, "Import Options",
                     {Button("OK", 1, 0x50010001, 176, 9, 44, 16),
                      Button("Cancel", 2, 0x50010000, 176, 31, 44, 16)})},
        {101, Dialog(28, 44, 190, 51, "Export Options",
                     {Button("OK", 1, 0x50030001, 138, 7, 41, 16),
                      Button("Cancel", 2, 0x50010000, 138, 29, 41, 16)})},
    };
}

std::vector<std::string> CompareDialogs(const DialogTemplate& e, const DialogTemplate& a) {
    std::vector<std::string> out;
    Check(out, "help id", e.helpId, a.helpId);
    CheckHex(out, "extended style", e.exStyle, a.exStyle);
    CheckHex(out, "style", e.style, a.style);
    Check(out, "x", e.x, a.x);
    Check(out, "y", e.y, a.y);
    Check(out, "width", e.cx, a.cx);
    Check(out, "height", e.cy, a.cy);
    CheckText(out, "menu", e.menu, a.menu);
    CheckText(out, "class", e.windowClass, a.windowClass);
    CheckText(out, "caption", e.title, a.title);
    Check(out, "point size", e.pointSize, a.pointSize);
    Check(out, "weight", e.weight, a.weight);
    Check(out, "italic", e.italic, a.italic);
    Check(out, "character set", e.charset, a.charset);
    CheckText(out, "typeface", e.typeface, a.typeface);
    Check(out, "control count", e.controls.size(), a.controls.size());
    for (std::size_t i = 0; i < e.controls.size() && i < a.controls.size(); ++i) {
        const DialogControl& ec = e.controls[i];
        const DialogControl& ac = a.controls[i];
        const std::string at = "control " + std::to_string(i + 1) + " ";
        Check(out, at + "help id", ec.helpId, ac.helpId);
        CheckHex(out, at + "extended style", ec.exStyle, ac.exStyle);
        CheckHex(out, at + "style", ec.style, ac.style);
        Check(out, at + "x", ec.x, ac.x);
        Check(out, at + "y", ec.y, ac.y);
        Check(out, at + "width", ec.cx, ac.cx);
        Check(out, at + "height", ec.cy, ac.cy);
        Check(out, at + "id", ec.id, ac.id);
        CheckText(out, at + "class", ec.windowClass, ac.windowClass);
        CheckText(out, at + "text", ec.title, ac.title);
        Check(out, at + "extra bytes", ec.extraCount, ac.extraCount);
    }
    return out;
}

std::string DescribeDialog(const DialogTemplate& d) {
    std::ostringstream out;
    out << std::hex << std::uppercase;
    out << "  \"" << d.title << "\" style 0x" << d.style << " exstyle 0x" << d.exStyle << std::dec
        << " at " << d.x << "," << d.y << " size " << d.cx << "," << d.cy << " font " << d.pointSize
        << " \"" << d.typeface << "\" weight " << d.weight << " italic " << +d.italic << " charset "
        << +d.charset << "\n";
    for (const DialogControl& c : d.controls) {
        out << "    control id " << c.id << " class " << c.windowClass << " \"" << c.title
            << "\" style 0x" << std::hex << std::uppercase << c.style << std::dec << " at " << c.x
            << "," << c.y << " size " << c.cx << "," << c.cy << "\n";
    }
    return out.str();
}

}  // namespace winhost
