#pragma once

// The document's device reads: which device is connected, and how old its
// course data is.

#include <string>

#include "common/Result.h"
#include "device/IdentityRecord.h"

namespace teelink {

class CDevice;
class CTeelinkDoc;

// Model, model id, hardware code and system version of `device`. A record that
// is no device of ours fails without a text: the caller says so in its own
// words.
Result<DeviceIdentity> ReadIdentityOf(const CDevice& device);
// The course data date of `device` ("no date" for a device without data).
Result<std::wstring> ReadCourseDateOf(const CDevice& device);

// The same into the document, on its own thread.
Status ReadDeviceIdentity(CTeelinkDoc& doc, const CDevice& device);
// The course data date into the document ("no date" for a device without data).
Status ReadCourseDataDate(CTeelinkDoc& doc, const CDevice& device);

}  // namespace teelink
