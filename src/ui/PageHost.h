#pragma once

#include <string>

#include "core/MessageIds.h"

namespace teelink {

class CBoxQueue;
class CDeviceList;
class CPage;
class CTeelinkDoc;
class IUserNotifier;
struct CAppOptions;

// What a page needs of the application around it. The application implements
// it; the pages know nothing else of the application, so the application may
// include every page without a circle.
class IPageHost {
public:
    virtual ~IPageHost() = default;

    virtual CTeelinkDoc& Doc() = 0;
    virtual CDeviceList& Devices() = 0;
    virtual IUserNotifier& Notifier() = 0;
    virtual const CAppOptions& Options() const = 0;
    // Where workers' results wait while a box is open.
    virtual CBoxQueue& Boxes() = 0;

    // The text of a message in the current language.
    virtual std::wstring GetMessageText(MessageId id) const = 0;
    virtual int Language() const = 0;
    // Runs the language dialog and makes its choice the current language.
    virtual void ChooseLanguage() = 0;

    // Shows page `page` (a ViewId) and returns the page that was active before.
    virtual CPage* SwitchView(int page) = 0;
    // Ends the program without a question (Exit buttons, fatal failures).
    virtual void PostClose() = 0;
    virtual bool IsClosing() const = 0;

    // Opens a web address in the user's browser.
    virtual void OpenUrl(const std::string& url) const = 0;
};

}  // namespace teelink
