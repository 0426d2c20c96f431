#pragma once
// PNG files on the host's side, through libpng.
#include <string>

#include "standin/Image.h"

namespace bmphost {

// Writes what the image holds as a PNG: indexed images as palette images
// through their colour table, grey as grey, 24-bit as RGB, formats with
// alpha as RGBA. Throws "cannot write the preview NAME: the reason".
void WritePng(const standin::Image& image, const std::string& path, const std::string& name);

// True when the file starts with the PNG signature.
bool LooksLikePng(const std::string& path);

// Reads a PNG into `image`: palette images without transparency as indexed
// (1, 4 or 8 bits by palette size), grey as gray8, colour as bgr24, anything
// with alpha as bgra32. The host's pixel limit bounds the size before any
// pixel storage is made. Throws "cannot read NAME: the reason".
void ReadPng(const std::string& path, const std::string& name, standin::Image& image);

}  // namespace bmphost
