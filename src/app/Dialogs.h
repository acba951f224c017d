// The Information and About dialogs, laid out in dialog units of their 9-point font.
#pragma once

#include <QDialog>
#include <QLabel>

#include "movie/MovieInfo.h"

namespace lunavue {

// The dialogs' font: "ＭＳ Ｐゴシック" 9 pt, or the platform's Japanese UI font without it.
QFont DialogFont();

class CFileInfoDlg : public QDialog {
    Q_OBJECT
  public:
    CFileInfoDlg(const MovieInfo& info, QWidget* parent = nullptr);
    QString Text(int controlId) const;

  private:
    std::map<int, QLabel*> values_;
};

class CAboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutBox(QWidget* parent = nullptr);
};

// The program icon in the given size.
QIcon ProgramIcon();

// The width a window manager's title bar needs to show the title whole beside its icon and
// buttons (its font is usually a little larger than the window's own).
int TitleBarWidth(const QWidget& window, const QString& title);

}  // namespace lunavue
