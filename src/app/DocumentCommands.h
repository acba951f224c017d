// The document's commands (Play, Stop, Pause, Open, Loop, Information, the seeking keys,
// Go to Time, the previous movie, saving and copying the picture shown), routed to the
// current document. The document itself knows no windows; its two
// dialogs are shown from here.
#pragma once

#include <QImage>

#include "app/CTovrinApp.h"

namespace lunavue {

class CTovrinApp::DocumentCommands : public CommandTarget {
  public:
    explicit DocumentCommands(CTovrinApp& app) : app_(app) {}

    bool OnCommand(int id) override;
    bool OnUpdateCommand(int id, CommandState& s) override;

  private:
    // The seeking keys; each shows where playback now stands.
    bool Seek(CTovrinDoc& doc, int id);
    // Every chosen file goes to the end of the queue.
    void OnOpen();
    void OnInformation(CTovrinDoc& doc);
    void OnGoToTime(CTovrinDoc& doc);
    void OnSaveFrame(CTovrinDoc& doc);
    void OnRepeat(CTovrinDoc& doc);
    void OnSpeed(CTovrinDoc& doc, int id);
    static QImage ShownPicture(CTovrinDoc& doc);

    CTovrinApp& app_;
};

}  // namespace lunavue
