// Finds how long movies are, on a thread of its own, for lists that show many names (the
// queue window): each name asked for is opened once, its length noted, and told back on
// the window's thread. Names are remembered, so a name asked for again is told at once.
#pragma once

#include <QObject>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>

namespace lunavue {

class DurationProbe : public QObject {
    Q_OBJECT
  public:
    static constexpr uint32_t kUnknown = UINT32_MAX;  // a name that does not open

    explicit DurationProbe(QObject* parent = nullptr);
    ~DurationProbe() override;
    // The length in milliseconds if known (kUnknown for a name that does not open); nothing
    // yet, and the name is looked at in the background.
    std::optional<uint32_t> Length(const std::string& path);

  signals:
    void found(const QString& path);  // the name's length is known now (QFile::decodeName)

  private:
    void Run();

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::string> asked_;
    std::unordered_map<std::string, uint32_t> known_;  // the window's thread only
    std::unordered_map<std::string, bool> pending_;    // asked, not yet known
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace lunavue
