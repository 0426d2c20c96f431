#pragma once
// What the module uses of the host's libraries and of the platform runtime.
//
// The filters' slot numbers in frame/ count the framework's virtual
// declarations in the order its headers define them, not virtual table
// entries: under the GNU C++ ABI of this build a virtual destructor takes two
// entries, so slot n (n >= 1) is entry n + 1. The DLL therefore fits hosts
// built with the same GNU toolchain only; docs/microsoft-abi.md says what
// differs for a host built with Microsoft's compiler.
#include "orix/IoExportFilter.h"
#include "orix/IoFilter.h"
#include "orix/IoImportFilter.h"
#include "orix/IoManager.h"
#include "orix/IoProgress.h"
#include "orix/Status.h"
#include "orix/TrImage.h"
#include "orix/TrInitGraphicsExp.h"
#include "tamb/CBufferedFile.h"
#include "tamb/CPath.h"
#include "tamb/ColorFormat.h"
#include "tamb/IError.h"
#include "tamb/SystemError.h"
#include "velk/Options.h"
#include "velk/PixelConvert.h"

#if defined(_WIN32)
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#else
#include "hostcrt/Runtime.h"
#endif
