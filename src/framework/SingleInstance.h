// One player per user: a second start with file names hands them to the running player,
// as shell open requests, and ends. The channel is a local socket only this user can use.
//
// A request is the file name as UTF-8 followed by a line feed; the running player answers
// each one with "ok\n" once it has queued it, so the second start ends only when every name
// has arrived.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

namespace lunavue {

class SingleInstance : public QObject {
    Q_OBJECT
  public:
    using Request = std::function<void(const QString& text)>;

    // The socket name for this user, or $LUNAVUE_INSTANCE when that is set.
    static QString DefaultName();

    // Hands the names to a running player. True when one took every name.
    static bool Forward(const QString& name, const QStringList& requests, int timeoutMs = 5000);

    // Starts answering requests; each one goes to onRequest. False when the socket cannot
    // be made (the player then simply runs on its own).
    bool Listen(const QString& name, Request onRequest);

  private:
    void Accept();

    QLocalServer server_;
    Request onRequest_;
};

}  // namespace lunavue
