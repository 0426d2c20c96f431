#pragma once
// What the module uses of the host's libraries and of the platform runtime.
#include "orix/IoException.h"
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
