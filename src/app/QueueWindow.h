// The movies waiting to play, in a window of their own beside the player, following the
// queue as it changes: the one playing first and marked, then the queue in order. Delete
// takes the chosen name out, Alt+Up and Alt+Down (or dragging) move it, Enter or a double
// click plays it now (the one playing ends as the next-movie key ends it); files dropped on
// the window join the queue; Esc closes it. Each name shows its length once it is known
// (found in the background), the title the count and the total. Its place and size are kept
// in the settings, and where it was moved to when it is shown again.
#pragma once

#include <QListWidget>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace lunavue {

class CTovrinDoc;
class DurationProbe;
class WindowPlacement;

class QueueWindow : public QWidget {
    Q_OBJECT
  public:
    // append: how a dropped file joins the queue (as any name does).
    QueueWindow(CTovrinDoc& doc, std::function<void(const std::string&)> append, QWidget* parent);
    // Shows the queue as it is now, if it changed; playing: the movie open now (or empty).
    void Refresh(const std::string& playing);
    void SaveSettings();
    QListWidget* List() const { return list_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    // The queue's place of a row, or -1 for the playing movie's row.
    int QueueIndex(int row) const { return row - (playing_.empty() ? 0 : 1); }
    void PlayChosen();
    void RemoveChosen();
    void MoveChosen(int by);
    void Moved(int from, int to);
    bool TakeDrop(QEvent* event);
    QString RowText(const std::string& path);
    void ShowLengths();
    void ShowTitle();

    CTovrinDoc& doc_;
    std::function<void(const std::string&)> append_;
    QListWidget* list_;
    std::deque<std::string> shown_;  // the queue as the rows show it
    std::string playing_;
    bool rebuilding_ = false;
    WindowPlacement* placement_ = nullptr;
    DurationProbe* probe_ = nullptr;
    QTimer lengthsDue_;
};

}  // namespace lunavue
