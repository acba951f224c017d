// What the engine needs from the rest of the program, and what it tells it: its view, the
// main frame's status bar, the recent-file list, the title and the main window (the
// DocumentShell and DocumentView the window implements, tests and the headless player
// provide their own), and the changes a window listens to (DocumentObserver).
#pragma once

#include <string>

#include "movie/MovieReader.h"
#include "movie/OpenStatus.h"
#include "platform/Formats.h"

namespace lunavue {

// The document's states. A movie stays loaded from the open until it is closed; Stop and
// the end of a movie leave it finished, at its poster frame.
enum class PlayState { kNoMovie, kLoaded, kPlaying, kPaused, kFinished };

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

// Something the person should learn of, with its reason. The engine only says what
// happened; the window decides whether it is a box, a message over the picture or a line
// on the standard error.
struct EngineNotice {
    enum class Kind {
        kRefused,        // a movie that could not be opened: path and status
        kNoMemory,       // the pictures of a movie cannot be had: it stays closed
        kNoSoundMemory,  // the sound buffers cannot be had: it plays silently
        kNoSound,        // the sound device cannot play it: reason (it plays silently)
        kSoundLost,      // the sound server went away mid-movie (it plays on silently)
        kSoundBack,      // the sound device that went away is back, and the sound with it
        kResumed,        // a movie opened where it was left last time: reason = the time
    };
    Kind kind;
    std::string path;
    OpenStatus status;
    std::string reason;
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
    virtual void Notify(const EngineNotice& notice) = 0;
};

// The changes the engine announces, on the main thread, as they happen: the window's
// widgets, the desktop's media controls and the idle inhibitor follow them instead of
// asking on every idle pass. Every call is optional.
class DocumentObserver {
  public:
    virtual ~DocumentObserver() = default;
    virtual void MovieOpened() {}
    virtual void MovieClosed() {}
    virtual void StateChanged(PlayState state) { (void)state; }
    // The picture shown belongs to another display period than the last one shown, or a
    // seek moved it: where playback stands now.
    virtual void PositionChanged(uint32_t ms) { (void)ms; }
    // Playback jumped there (a seek, a step, the stop at the start), right after the
    // PositionChanged that says so.
    virtual void PositionJumped(uint32_t ms) { (void)ms; }
    virtual void QueueChanged() {}
    virtual void LoopChanged(bool on) { (void)on; }
    virtual void VolumeChanged(int percent) { (void)percent; }
};

}  // namespace lunavue
