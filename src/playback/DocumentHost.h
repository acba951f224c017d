// What the document needs from the rest of the program: its view, the main frame's
// status bar, the recent-file list, the title and the main window. The window implements
// these; tests and the headless player provide their own.
#pragma once

#include <string>

#include "movie/MovieReader.h"
#include "movie/OpenStatus.h"
#include "platform/Formats.h"

namespace lunavue {

class DocumentView : public ShownCost {
  public:
    virtual ~DocumentView() = default;
    virtual void SetPictureFormat(const BITMAPINFOHEADER& header) = 0;
    virtual void ApplyWindowSize() = 0;
    virtual void ReleaseRenderer() = 0;
    // Enters full screen only when the full-screen setting is on.
    virtual void EnterFullScreen() = 0;
    virtual void LeaveFullScreen() = 0;
    virtual bool IsFullScreen() const = 0;
    // Repaints the whole view (without erasing) with the document's current picture.
    virtual void Invalidate() = 0;
};

class DocumentShell {
  public:
    virtual ~DocumentShell() = default;
    // Status-bar pane 1 (elapsed time) or 2 (total time), redrawn at once.
    virtual void SetPaneText(int pane, const std::string& text) = 0;
    virtual void AddToRecentFileList(const std::string& path) = 0;
    virtual void SetTitle(const std::string& title) = 0;
    // Asks the main window to close, as a close request posted to it.
    virtual void CloseMainWindow() = 0;
    // A movie that could not be opened, and why (a refusal that shows no box included).
    virtual void ShowRefusal(const std::string& path, const OpenStatus& status) = 0;
    // The sound device cannot play the movie, and why (it plays silently), for the message
    // pane or the standard error.
    virtual void ReportNoSound(const std::string& reason) = 0;
    // The sound device that went away is back, and the movie's sound with it.
    virtual void ReportSoundBack() = 0;
};

}  // namespace lunavue
