// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "E2eSupport.h"

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

bool Dark(QRgb pixel) {
  return qRed(pixel) < 40 && qGreen(pixel) < 40 && qBlue(pixel) < 40;
}

}  // namespace

bool WaitUntil(const std::function<bool()> &condition, int timeoutMs) {
  QElapsedTimer waited;
  waited.start();
  while (!condition()) {
    if (waited.elapsed() > timeoutMs) return false;
    QThread::msleep(5);
  }
  return true;
}

void Settle(int ms) {
  QThread::msleep(static_cast<unsigned long>(ms));
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

// ---- JACK ----

JackGraph::JackGraph() {
  client_ = jack_client_open("e2e-probe", JackNoStartServer, nullptr);
}

JackGraph::~JackGraph() {
  if (client_) jack_client_close(client_);
}

int JackGraph::IndexOf(unsigned long flags, const std::string &port) const {
  if (!client_) return -1;
  const char **ports = jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
  // Kelvane numbers its devices without its own ports.
  int index = -1, number = 0;
  for (int i = 0; ports && ports[i]; ++i) {
    if (std::string(ports[i]).rfind("Kelvane", 0) == 0) continue;
    if (port == ports[i]) index = number;
    ++number;
  }
  jack_free(ports);
  return index;
}

int JackGraph::OutputDeviceIndex(const std::string &port) const {
  return IndexOf(JackPortIsInput, port);
}

int JackGraph::InputDeviceIndex(const std::string &port) const {
  return IndexOf(JackPortIsOutput, port);
}

std::vector<std::string> JackGraph::Connections(const std::string &port) const {
  std::vector<std::string> names;
  if (!client_) return names;
  jack_port_t *handle = jack_port_by_name(client_, port.c_str());
  if (!handle) return names;
  const char **connections = jack_port_get_all_connections(client_, handle);
  for (int i = 0; connections && connections[i]; ++i) names.emplace_back(connections[i]);
  jack_free(connections);
  return names;
}

bool JackGraph::ConnectedToKelvane(const std::string &port) const {
  for (const std::string &name : Connections(port))
    if (name.rfind("Kelvane", 0) == 0) return true;
  return false;
}

bool Peer::WaitForMessages(size_t count, int timeoutMs) {
  return WaitUntil([&] { return MessageCount() >= count; }, timeoutMs);
}

QByteArray PeerSettings(const JackGraph &graph, const Peer &peer, const QByteArray &more) {
  const int out = graph.OutputDeviceIndex(peer.InPort());
  const int in = graph.InputDeviceIndex(peer.OutPort());
  EXPECT_GE(out, 0);
  EXPECT_GE(in, 0);
  return QStringLiteral("[setup]\nout=%1\nin=%2\npole=0\n").arg(out).arg(in).toUtf8() + more;
}

void AnswerFileDialog(Kelvane &app, const QString &title, const QString &path) {
  const auto dialog = app.WaitForDialog(title);
  ASSERT_TRUE(dialog.has_value()) << "no dialog \"" << title.toStdString() << "\"";
  app.Type(path);
  app.Key("Return");
  ASSERT_TRUE(WaitUntil([&] { return app.WindowGone(*dialog); }));
}

void E2eTest::SetUp() {
  ASSERT_FALSE(XDisplay().isEmpty()) << "no private X display (the xvfb fixture)";
  ASSERT_TRUE(graph.Ok()) << "no JACK server named " << qgetenv("JACK_DEFAULT_SERVER").constData();
  ASSERT_TRUE(peer.Ok());
}

void E2eTest::StartConnected(Kelvane &app) {
  app.Start();
  ASSERT_TRUE(app.WaitForWindow()) << app.Output().toStdString();
  // The ports open before the window shows; other programs on the same server could have
  // changed the device lists in between, which these checks would show.
  ASSERT_TRUE(WaitUntil([&] { return graph.ConnectedToKelvane(peer.InPort()); }, 5000))
      << "Kelvane's output is not connected to " << peer.InPort();
  ASSERT_TRUE(WaitUntil([&] { return graph.ConnectedToKelvane(peer.OutPort()); }, 5000))
      << "Kelvane's input is not connected to " << peer.OutPort();
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
  QStringList arguments{"--settings", settingsFile_};
  if (!midiApi_.isEmpty()) arguments << "--midi-api" << midiApi_;
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
