// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "E2eCommon.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <xcb/xcb.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace e2e {

namespace {

constexpr int kWindowWidth = 529;
constexpr int kWindowHeight = 195;
const QRgb kPanelColour = qRgb(0xFA, 0xFA, 0xFF);

QProcessEnvironment XEnvironment() {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("DISPLAY", XDisplay());
  return env;
}

// Every wait is this many times as long (SetTimeScale).
int timeScale = 1;

bool Dark(QRgb pixel) {
  return qRed(pixel) < 40 && qGreen(pixel) < 40 && qBlue(pixel) < 40;
}

}  // namespace

bool WaitUntil(const std::function<bool()> &condition, int timeoutMs) {
  QElapsedTimer waited;
  waited.start();
  while (!condition()) {
    if (waited.elapsed() > qint64(timeoutMs) * timeScale) return false;
    QThread::msleep(5);
  }
  return true;
}

void Settle(int ms) {
  QThread::msleep(static_cast<unsigned long>(ms * timeScale));
}

void SetTimeScale(int factor) {
  timeScale = std::max(factor, 1);
}

QString XDisplay() {
  static const QString display = [] {
    QFile file(qEnvironmentVariable("KELVANE_E2E_DISPLAY_FILE"));
    if (!file.open(QIODevice::ReadOnly)) return QString();
    return QString::fromLatin1(file.readAll()).trimmed();
  }();
  return display;
}

QString Xdo(const QStringList &arguments) {
  QProcess xdotool;
  xdotool.setProcessEnvironment(XEnvironment());
  xdotool.start("xdotool", arguments);
  if (!xdotool.waitForStarted(10000) || !xdotool.waitForFinished(10000)) {
    ADD_FAILURE() << "xdotool " << arguments.join(' ').toStdString() << " did not finish";
    xdotool.kill();
    xdotool.waitForFinished(1000);
    return {};
  }
  return QString::fromLocal8Bit(xdotool.readAllStandardOutput());
}

// ---- settings file ----

IniFile IniFile::Read(const QString &fileName) {
  IniFile ini;
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) return ini;
  ini.exists_ = true;
  QString section;
  for (const QString &raw : QString::fromUtf8(file.readAll()).split('\n')) {
    const QString line = raw.trimmed();
    if (line.startsWith('[') && line.endsWith(']')) {
      section = line.mid(1, line.size() - 2).toLower();
    } else if (const qsizetype eq = line.indexOf('='); eq > 0) {
      ini.sections_[section][line.left(eq).trimmed().toLower()] = line.mid(eq + 1).trimmed();
    }
  }
  return ini;
}

void IniFile::Write(const QString &fileName, const QByteArray &text) {
  QFile file(fileName);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  ASSERT_EQ(file.write(text), text.size());
}

std::optional<QString> IniFile::Value(const QString &section, const QString &name) const {
  auto s = sections_.constFind(section.toLower());
  if (s == sections_.constEnd()) return std::nullopt;
  auto v = s->constFind(name.toLower());
  if (v == s->constEnd()) return std::nullopt;
  return *v;
}

QString IniFile::ValueOr(const QString &section, const QString &name,
                         const QString &missing) const {
  return Value(section, name).value_or(missing);
}

// ---- MIDI bytes ----

std::vector<QByteArray> SplitMessages(const QByteArray &stream) {
  std::vector<QByteArray> messages;
  bool inSysEx = false;
  for (char c : stream) {
    const auto byte = static_cast<uint8_t>(c);
    if (inSysEx) {
      messages.back().append(c);
      inSysEx = byte != 0xF7;
      continue;
    }
    if (byte >= 0x80 || messages.empty()) messages.emplace_back();
    messages.back().append(c);
    inSysEx = byte == 0xF0;
  }
  return messages;
}

QByteArray Bytes(std::initializer_list<int> values) {
  QByteArray bytes;
  for (int v : values) bytes.append(static_cast<char>(v));
  return bytes;
}

std::string Hex(const QByteArray &bytes) {
  return bytes.toHex(' ').toUpper().toStdString();
}

void AnswerFileDialog(Kelvane &app, const QString &title, const QString &path) {
  const auto dialog = app.WaitForDialog(title);
  ASSERT_TRUE(dialog.has_value()) << "no dialog \"" << title.toStdString() << "\"";
  app.Type(path);
  app.Key("Return");
  // When the folder's files come late, the file name's completion list opens late too and takes
  // the Return for itself (it only closes); a second Return answers the dialog.
  const auto gone = [&] { return app.WindowGone(*dialog); };
  if (!WaitUntil(gone, 2000) && app.Focus(*dialog)) app.Key("Return");
  ASSERT_TRUE(WaitUntil(gone));
}

void SendSysExFile(Kelvane &app, const QString &file) {
  app.Click(app.PageOrigin() + sysexpage::kSend);
  AnswerFileDialog(app, "select the sysex file to send", file);
}

void StartRecording(Kelvane &app, const QString &file) {
  app.Click(app.PageOrigin() + sysexpage::kReceive);
  ASSERT_NO_FATAL_FAILURE(AnswerFileDialog(app, "enter the file name for sysex data", file));
  ASSERT_TRUE(app.FocusMain());
  ASSERT_TRUE(WaitUntil([&] { return DoneButtonEnabled(app); })) << "no reception started";
}

QByteArray FinishRecording(Kelvane &app, const QString &file, bool *overran) {
  app.Click(app.PageOrigin() + sysexpage::kDone);
  const QString saved = file + ".syx";
  EXPECT_TRUE(WaitUntil([&] { return QFile::exists(saved); })) << "no file written";
  // A server that overran while the dump was recorded is told in a box (which may cover the
  // done button): it is answered first.
  const auto box = app.WaitForDialog(".*", 500);
  if (box && app.Focus(*box)) {
    app.Key("Return");
    EXPECT_TRUE(WaitUntil([&] { return app.WindowGone(*box); }));
    app.FocusMain();
  }
  if (overran) *overran = box.has_value();
  EXPECT_TRUE(WaitUntil([&] { return !DoneButtonEnabled(app); }));
  return ReadFile(saved);
}

bool DoneButtonEnabled(Kelvane &app) {
  // Enabled, its caption is drawn in black.
  const QImage image = app.Screenshot();
  const QRect button(app.PageOrigin() + QPoint(16, 52), QSize(336, 25));
  int dark = 0;
  for (int y = button.top() + 4; y < button.bottom() - 4; ++y)
    for (int x = button.left() + 4; x < button.right() - 4; ++x) {
      const QRgb pixel = image.pixel(x, y);
      dark += qRed(pixel) < 60 && qGreen(pixel) < 60 && qBlue(pixel) < 60;
    }
  return dark > 30;
}

QByteArray ReadFile(const QString &fileName) {
  QFile file(fileName);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString ArtefactDir() {
  const QString dir = QStringLiteral(KELVANE_E2E_ARTEFACTS);
  QDir().mkpath(dir);
  return dir;
}

// ---- the program ----

Kelvane::Kelvane(QString settingsFile) : settingsFile_(std::move(settingsFile)) {
  process_.setProcessChannelMode(QProcess::MergedChannels);
}

Kelvane::~Kelvane() {
  ReleaseHeld();
  if (Running()) {
    Terminate();
    if (!process_.waitForFinished(5000)) {
      process_.kill();
      process_.waitForFinished(2000);
    }
  }
  const QString output = Output();
  if (::testing::Test::HasFailure() && !output.isEmpty())
    std::fprintf(stderr, "--- kelvane's output ---\n%s\n", qPrintable(output));
}

void Kelvane::ReleaseHeld() {
  if (buttonHeld_) Release();
  while (!heldKeys_.isEmpty()) KeyUp(heldKeys_.back());
}

void Kelvane::Start() {
  QProcessEnvironment env = XEnvironment();
  env.insert("QT_QPA_PLATFORM", "xcb");
  // The window's pixels are to be the screen's pixels, and no desktop services are asked for.
  for (const char *name :
       {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_SCALE_FACTOR_ROUNDING_POLICY",
        "QT_ENABLE_HIGHDPI_SCALING", "QT_QPA_PLATFORMTHEME", "QT_STYLE_OVERRIDE"})
    env.remove(name);
  env.insert("QT_ACCESSIBILITY", "0");
  env.insert("NO_AT_BRIDGE", "1");
  for (auto it = extraEnv_.cbegin(); it != extraEnv_.cend(); ++it) env.insert(it.key(), it.value());
  process_.setProcessEnvironment(env);
  window_ = 0;
  pageOrigin_.reset();
  QStringList arguments = {"--settings", settingsFile_};
  if (!midiApi_.isEmpty()) arguments += {"--midi-api", midiApi_};
  process_.start(QStringLiteral(KELVANE_EXECUTABLE), arguments);
  ASSERT_TRUE(process_.waitForStarted(10000)) << process_.errorString().toStdString();
}

QString Kelvane::Output() {
  output_ += QString::fromLocal8Bit(process_.readAll());
  return output_;
}

std::vector<qulonglong> Kelvane::VisibleWindows(const QString &title) const {
  std::vector<qulonglong> windows;
  if (!Running()) return windows;
  const QString found = Xdo({"search", "--all", "--onlyvisible", "--pid",
                             QString::number(process_.processId()), "--name", title});
  for (const QString &line : found.split('\n', Qt::SkipEmptyParts))
    windows.push_back(line.toULongLong());
  return windows;
}

std::optional<QRect> Kelvane::Geometry(qulonglong window) {
  const QString shell = Xdo({"getwindowgeometry", "--shell", QString::number(window)});
  QMap<QString, int> values;
  for (const QString &line : shell.split('\n', Qt::SkipEmptyParts)) {
    const qsizetype eq = line.indexOf('=');
    if (eq > 0) values[line.left(eq)] = line.mid(eq + 1).toInt();
  }
  if (!values.contains("WIDTH")) return std::nullopt;
  return QRect(values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]);
}

bool Kelvane::WaitForWindow(int timeoutMs) {
  const bool shown = WaitUntil(
      [&] {
        for (qulonglong window : VisibleWindows("^Kelvane$")) {
          const auto geometry = Geometry(window);
          if (geometry && geometry->size() == QSize(kWindowWidth, kWindowHeight)) {
            window_ = window;
            origin_ = geometry->topLeft();
            return true;
          }
        }
        return !Running();
      },
      timeoutMs);
  if (!shown || !window_) return false;
  PageOrigin();  // once it is found, the window has painted itself
  return FocusMain();
}

bool Kelvane::MainWindowVisible() const {
  for (qulonglong window : VisibleWindows("^Kelvane$")) {
    const auto geometry = Geometry(window);
    if (geometry && geometry->size() == QSize(kWindowWidth, kWindowHeight)) return true;
  }
  return false;
}

std::optional<qulonglong> Kelvane::WaitForDialog(const QString &title, int timeoutMs) {
  std::optional<qulonglong> dialog;
  WaitUntil(
      [&] {
        for (qulonglong window : VisibleWindows(title)) {
          const auto geometry = Geometry(window);
          if (geometry && geometry->size() != QSize(kWindowWidth, kWindowHeight)) dialog = window;
        }
        return dialog.has_value() || !Running();
      },
      timeoutMs);
  if (dialog) Focus(*dialog);
  return dialog;
}

bool Kelvane::WindowGone(qulonglong window) const {
  for (qulonglong shown : VisibleWindows(".*"))
    if (shown == window) return false;
  return true;
}

bool Kelvane::Focus(qulonglong window) {
  const QString id = QString::number(window);
  return WaitUntil(
      [&] {
        Xdo({"windowfocus", id});
        return Xdo({"getwindowfocus"}).trimmed() == id;
      },
      5000);
}

QImage Kelvane::Screenshot(qulonglong window, const QString &saveAs) const {
  QProcess import;
  import.setProcessEnvironment(XEnvironment());
  import.start("import", {"-window", QString::number(window), "png:-"});
  if (!import.waitForFinished(15000)) {
    ADD_FAILURE() << "import did not finish";
    import.kill();
    import.waitForFinished(1000);
    return {};
  }
  const QByteArray png = import.readAllStandardOutput();
  QImage image = QImage::fromData(png, "PNG");
  EXPECT_FALSE(image.isNull()) << import.readAllStandardError().constData();
  if (!saveAs.isEmpty() && !image.isNull()) image.save(saveAs);
  return image;
}

namespace {

// The pages' panels have their own light colour inside a one-pixel frame; the first such pixel
// with more of that colour beside and none above or to the left is just inside the page.
std::optional<QPoint> FindPageOrigin(const QImage &image) {
  if (image.width() < 120 || image.height() < 60) return std::nullopt;
  for (int y = 1; y < 60; ++y)
    for (int x = 1; x < 60; ++x) {
      if (image.pixel(x, y) != kPanelColour || image.pixel(x + 50, y) != kPanelColour) continue;
      if (image.pixel(x - 1, y) == kPanelColour || image.pixel(x, y - 1) == kPanelColour) continue;
      return QPoint(x - 1, y - 1);
    }
  return std::nullopt;
}

}  // namespace

QPoint Kelvane::PageOrigin() {
  if (pageOrigin_) return *pageOrigin_;
  // Until the window has painted itself, a screenshot shows nothing of it.
  QImage image;
  WaitUntil(
      [&] {
        image = Screenshot();
        pageOrigin_ = FindPageOrigin(image);
        return pageOrigin_.has_value();
      },
      5000);
  if (!pageOrigin_) {
    const QString saved = ArtefactDir() + "/no-page-found.png";
    image.save(saved);
    ADD_FAILURE() << "no tab page found in the screenshot " << saved.toStdString();
  }
  return pageOrigin_.value_or(QPoint(2, 25));
}

bool Kelvane::ShowsSetupPage() {
  // The "MIDI output" list is black from x 74 to 254 at the top of the Setup page, and the
  // MIDI service list from x 216 to 258 lower down (the only one when no device is there).
  const QPoint page = PageOrigin();
  const QImage image = Screenshot();
  if (image.isNull()) return false;
  int outputList = 0;
  for (int x = 90; x < 250; x += 10) outputList += Dark(image.pixel(page + QPoint(x, 14)));
  int serviceList = 0;
  for (int x = 226; x < 256; x += 6) serviceList += Dark(image.pixel(page + QPoint(x, 81)));
  return outputList >= 12 || (serviceList >= 4 && !ShowsKnobPage());
}

bool Kelvane::ShowsKnobPage() {
  // Between the fourth and the fifth knob the knob page shows its bare panel; every other page
  // has a control there.
  const QPoint page = PageOrigin();
  const QImage image = Screenshot();
  if (image.isNull()) return false;
  return image.pixel(page + QPoint(160, 20)) == kPanelColour &&
         image.pixel(page + QPoint(175, 30)) == kPanelColour;
}

void Kelvane::ShowPage(int index) {
  // A wheel step over the tab strip shows the next or the previous page: first all the way back
  // to the knob page, then forward. X events are handled in order, so a click sent afterwards
  // lands on the new page.
  const QPoint tab = origin_ + QPoint(30, PageOrigin().y() - 10);
  QStringList arguments = {"mousemove",
                           QString::number(tab.x()),
                           QString::number(tab.y()),
                           "click",
                           "--repeat",
                           "5",
                           "--delay",
                           "20",
                           "4"};
  if (index > 0) arguments += {"click", "--repeat", QString::number(index), "--delay", "20", "5"};
  Xdo(arguments);
}

void Kelvane::MoveTo(QPoint at) const {
  const QPoint screen = origin_ + at;
  Xdo({"mousemove", QString::number(screen.x()), QString::number(screen.y())});
}

void Kelvane::Press(int button) const {
  buttonHeld_ = true;
  Xdo({"mousedown", QString::number(button)});
}

void Kelvane::Release(int button) const {
  Xdo({"mouseup", QString::number(button)});
  buttonHeld_ = false;
}

void Kelvane::Click(QPoint at, const QString &modifier, int button) const {
  const QPoint screen = origin_ + at;
  QStringList arguments = {"mousemove", QString::number(screen.x()), QString::number(screen.y())};
  if (!modifier.isEmpty()) arguments += {"keydown", modifier};
  arguments += {"click", QString::number(button)};
  if (!modifier.isEmpty()) arguments += {"keyup", modifier};
  Xdo(arguments);
}

void Kelvane::Key(const QString &keys) const {
  Xdo({"key", keys});
}

void Kelvane::KeyDown(const QString &keys) const {
  heldKeys_.append(keys);
  Xdo({"keydown", keys});
}

void Kelvane::KeyUp(const QString &keys) const {
  Xdo({"keyup", keys});
  heldKeys_.removeAll(keys);
}

void Kelvane::Type(const QString &text) const {
  Xdo({"type", "--delay", "5", text});
}

void Kelvane::CloseWindow() const {
  // What a window manager does for the close box: WM_PROTOCOLS / WM_DELETE_WINDOW.
  xcb_connection_t *connection = xcb_connect(XDisplay().toLatin1().constData(), nullptr);
  ASSERT_FALSE(xcb_connection_has_error(connection));
  auto atom = [&](const char *name) {
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name), nullptr);
    xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return value;
  };
  xcb_client_message_event_t event{};
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = static_cast<xcb_window_t>(window_);
  event.type = atom("WM_PROTOCOLS");
  event.data.data32[0] = atom("WM_DELETE_WINDOW");
  event.data.data32[1] = XCB_CURRENT_TIME;
  // Checked, so that the request has reached the server before the connection closes.
  const xcb_void_cookie_t sent = xcb_send_event_checked(
      connection, 0, event.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&event));
  xcb_generic_error_t *error = xcb_request_check(connection, sent);
  EXPECT_EQ(error, nullptr) << "the close request was refused";
  free(error);
  xcb_disconnect(connection);
}

void Kelvane::Terminate() {
  if (Running()) ::kill(static_cast<pid_t>(process_.processId()), SIGTERM);
}

bool Kelvane::WaitForExit(int timeoutMs) {
  if (Running() && !process_.waitForFinished(timeoutMs)) {
    ADD_FAILURE() << "kelvane is still running after " << timeoutMs << " ms";
    return false;
  }
  Output();
  if (process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0) return true;
  ADD_FAILURE() << "kelvane ended with "
                << (process_.exitStatus() == QProcess::CrashExit ? "a crash" : "exit code ")
                << process_.exitCode();
  return false;
}

}  // namespace e2e
