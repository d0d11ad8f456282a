#pragma once

namespace teelink {

// The document's device reads, on the first path of the device list: which
// device is connected, and how old its course data is.

class CTeelinkDoc;

// Model, model id, hardware code and system version into the document.
bool ReadDeviceIdentity(CTeelinkDoc& doc);
// The course data date into the document ("no date" for a device without data).
bool ReadCourseDataDate(CTeelinkDoc& doc);

}  // namespace teelink
