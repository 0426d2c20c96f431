#pragma once
#include <ostream>
#include <string>

namespace winhost {

// Checks the DLL file at `path`: a 32-bit PE DLL exporting exactly ExportBMP
// (ordinal 1) and ImportBMP (ordinal 2) by name, carrying exactly the two
// dialog templates (ids 100 and 101, English (United States)) with the
// expected contents. Where the platform can load it (Windows), the loader
// must agree: both factories by name and by ordinal at the exported
// addresses, and the same resource bytes. Prints what it finds; returns the
// number of failed checks.
int CheckModule(const std::string& path, std::ostream& out);

struct PeImage;
// The checks CheckModule makes of the parsed file, without loading it.
int CheckImage(const PeImage& image, std::ostream& out);

}  // namespace winhost
