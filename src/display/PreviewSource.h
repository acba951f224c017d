// Pictures of any moment of the open movie for the position bar's preview, decoded on a
// thread of their own from a reader of their own (the playing picture and the sound are
// never delayed): from the key frame at or before the moment, with at most kRunUp frames
// decoded after it (further on, the picture kRunUp frames after the key frame is the
// nearest shown), kept in a cache of the latest kCached. Only the latest question is
// answered; the answer comes on the window's thread.
#pragma once

#include <QImage>
#include <QObject>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

namespace lunavue {

class PreviewSource : public QObject {
    Q_OBJECT
  public:
    static constexpr uint32_t kRunUp = 8;
    static constexpr size_t kCached = 64;

    explicit PreviewSource(QObject* parent = nullptr);
    ~PreviewSource() override;
    // The movie to show pictures of (empty: none).
    void SetMovie(const std::string& path);
    // Asks for the picture at ms; answered by pictureReady unless asked again first.
    void Ask(uint32_t ms);

  signals:
    void pictureReady(uint32_t ms, const QImage& picture);

  private:
    void Run();
    QImage Decode(uint32_t ms);  // worker thread

    std::mutex lock_;
    std::condition_variable wake_;
    std::string path_;            // asked for
    std::optional<uint32_t> ms_;  // asked for, not yet taken
    uint64_t generation_ = 0;     // a new movie
    bool stop_ = false;
    std::thread thread_;
    // Worker thread only.
    struct Open;
    std::unique_ptr<Open> open_;
    std::list<std::pair<uint32_t, QImage>> cache_;  // frame, picture; the latest first
};

}  // namespace lunavue
