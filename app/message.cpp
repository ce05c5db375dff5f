#include "app/message.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QScreen>

#include "app/qt_text.h"
#include "base/app_info.h"
#include "base/cp932.h"
#include "base/lines.h"
#include "base/numbers.h"

namespace zarvel::app {
namespace {

constexpr int kFontPixels = 15;
constexpr int kMinWidth = 300;
constexpr std::size_t kMaxRest = 9999;

std::function<void(const std::string&)>& Handler() {
  static std::function<void(const std::string&)> handler;
  return handler;
}

}  // namespace

ParsedMessage ParseMessage(const std::string& input) {
  ParsedMessage m;
  std::string rest = input;
  while (const std::size_t e = base::MarkerLength(rest)) {
    const std::string marker = base::UpperAscii(rest.substr(0, e));
    rest = rest.substr(e, kMaxRest);
    if (marker == base::Lit("[#×]")) m.cross = true;
    if (marker == "[#COPY]") m.copy = true;
  }
  for (const std::string& raw : base::SplitLines(rest)) {
    std::string line(base::TrimBlanks(raw));
    const bool half = !line.empty() && line[0] == '$';
    if (half) line.erase(0, 1);
    m.lines.push_back(line);
    m.half_line_before.push_back(half);
  }
  return m;
}

std::string CopyText(const ParsedMessage& m) {
  std::string out;
  for (const std::string& line : m.lines) out += line + "\r\n";
  return out;
}

MessageDialog::MessageDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(Qs(base::ApplicationTitle()));
  setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  QFont font(QStringLiteral("IPAexGothic"));
  font.setPixelSize(kFontPixels);
  setFont(font);
  mark_ = new QLabel(QStringLiteral("×"), this);
  QFont cross = font;
  cross.setPixelSize(37);
  cross.setBold(true);
  mark_->setFont(cross);
  mark_->setStyleSheet(QStringLiteral("color: red"));
  mark_->setGeometry(8, 12, 29, 29);
  mark_->setAlignment(Qt::AlignCenter);
  mark_->hide();
  for (int i = 0; i < kMessageLabels; ++i) {
    auto* label = new QLabel(QStringLiteral("*"), this);
    label->setTextFormat(Qt::PlainText);  // a path may hold "<b>" or "&lt;"
    label->setGeometry(10, 16 * i, 10, 18);
    label->hide();
    labels_.push_back(label);
  }
  ok_ = new QPushButton(QStringLiteral("確 認"), this);
  ok_->resize(75, 29);
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  copy_ = new QPushButton(QStringLiteral("コピー"), this);
  copy_->resize(52, 25);
  copy_->hide();
  connect(copy_, &QPushButton::clicked, this, [this] { CopyToClipboard(); });
}

void MessageDialog::Prepare(const std::string& cp932) {
  message_ = ParseMessage(cp932);
  const int h = static_cast<int>(kFontPixels * 1.2);  // 18
  int x = h;
  mark_->setVisible(message_.cross);
  copy_->setVisible(message_.copy);
  if (message_.cross) x = mark_->x() + mark_->width() + h;
  for (QLabel* l : labels_) l->hide();
  int y = h;
  int right = 0;
  for (std::size_t i = 0; i < message_.lines.size() && i < labels_.size(); ++i) {
    if (message_.half_line_before[i]) y += h / 2;
    QLabel* l = labels_[i];
    l->setText(Qs(" " + message_.lines[i]));
    l->adjustSize();
    l->move(x, y);
    l->show();
    y += (h * 5) / 4;
    right = std::max(right, l->x() + l->width() + h);
  }
  const int width = std::max(right, kMinWidth);
  const int height = 3 * h + y + ok_->height();
  setFixedSize(width, height);
  ok_->move((width - ok_->width()) / 2, height - ok_->height() - h / 2 - 4);
  copy_->move(width - copy_->width() - 8, height - copy_->height() - h / 2 - 4);
}

void MessageDialog::ShowModal(const std::string& cp932) {
  Prepare(cp932);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  ok_->setFocus();
  exec();
}

void MessageDialog::CopyToClipboard() {
  QGuiApplication::clipboard()->setText(Qs(CopyText(message_)));
  ok_->setFocus();
}

MessageDialog& TheMessageDialog() {
  static MessageDialog* dialog = new MessageDialog;
  return *dialog;
}

void ShowMessageText(const std::string& cp932) {
  if (Handler()) {
    Handler()(cp932);
    return;
  }
  TheMessageDialog().ShowModal(cp932);
}

void SetMessageHandler(std::function<void(const std::string&)> handler) {
  Handler() = std::move(handler);
}

}  // namespace zarvel::app
