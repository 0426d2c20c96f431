#pragma once
// PNG files on the host's side, through libpng.
#include <cstdio>
#include <string>

#include "standin/Image.h"

namespace bmphost {

// Writes what the image holds as a PNG: indexed images as palette images
// through their colour table, grey as grey, formats with alpha as RGBA, the
// rest as RGB; its resolution (pHYs) when both values are above 0. Throws
// std::runtime_error with the reason (the system's, for a failed write).
void WritePng(const standin::Image& image, std::FILE* file);
// The same into a new file: "cannot write the preview NAME: the reason".
void WritePng(const standin::Image& image, const std::string& path, const std::string& name);

// True when the file starts with the PNG signature.
bool LooksLikePng(const std::string& path);

// Reads a PNG from the start of `file` into `image`: palette images without
// transparency as indexed (1, 4 or 8 bits by palette size), grey as gray8,
// colour as bgr24, anything with alpha as bgra32; its resolution when it
// states one in pixels per metre, both above 0. The host's pixel limit
// bounds the size before any pixel storage is made. Throws
// std::runtime_error with the reason.
void ReadPng(std::FILE* file, standin::Image& image);
// The same from a file by name: "cannot read NAME: the reason".
void ReadPng(const std::string& path, const std::string& name, standin::Image& image);

}  // namespace bmphost
