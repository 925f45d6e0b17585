// The Linux command's status. The Windows program ends with the framework's
// result whatever happened; a Linux command that could not do its work must
// not report success, so a start-up failure gets a status of its own.
#include "CodePoller.h"
#include "RemoteDriver.h"
#include "afxwin.h"

namespace {

const int kStatusLibraryUnusable = 3;
const int kStatusNoCard = 4;
const int kStatusNoReading = 5;

}  // namespace

int AfxCommandStatus(int nWinMainResult)
{
    switch (CRemoteDriver::GetStatus())
    {
    case DRIVER_NOT_LOADED:
        return kStatusLibraryUnusable;
    case DRIVER_NO_CARD:
        return kStatusNoCard;
    default:
        // A card that opened but was never read did not do the work either.
        return g_poller.StartError() != ERROR_SUCCESS ? kStatusNoReading : nWinMainResult;
    }
}
