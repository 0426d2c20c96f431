#pragma once
// Extended dialog templates as compiled into the module's resources, and the
// two the module must carry.
#include <cstdint>
#include <string>
#include <vector>

#include "PeImage.h"

namespace winhost {

struct DialogControl {
    std::uint32_t helpId = 0;
    std::uint32_t exStyle = 0;
    std::uint32_t style = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::uint32_t id = 0;
    std::string windowClass;  // "#128" for a predefined class by ordinal
    std::string title;
    std::uint16_t extraCount = 0;
};

struct DialogTemplate {
    std::uint16_t version = 0;
    std::uint16_t signature = 0;
    std::uint32_t helpId = 0;
    std::uint32_t exStyle = 0;
    std::uint32_t style = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::string menu;  // empty: none
    std::string windowClass;
    std::string title;
    std::uint16_t pointSize = 0;
    std::uint16_t weight = 0;
    std::uint8_t italic = 0;
    std::uint8_t charset = 0;
    std::string typeface;
    std::vector<DialogControl> controls;
};

// Parses the bytes of an extended dialog template (texts are narrowed; a
// character outside ASCII becomes '?'). False with a reason when malformed.
bool ParseDialogTemplate(const Bytes& data, DialogTemplate& dialog, std::string& error);

// The dialog resources the module carries, with their resource ids.
struct ExpectedDialog {
    std::uint32_t id;
    DialogTemplate dialog;
};
std::vector<ExpectedDialog> ExpectedDialogs();

// The resource language of both templates: English, United States.
constexpr std::uint32_t kDialogLanguage = 0x0409;

// Differences between a parsed template and the expected one, one line each.
std::vector<std::string> CompareDialogs(const DialogTemplate& expected,
                                        const DialogTemplate& actual);

// One-line-per-field text form, for reports.
std::string DescribeDialog(const DialogTemplate& dialog);

}  // namespace winhost
