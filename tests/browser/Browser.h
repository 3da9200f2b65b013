#pragma once
// A headless Chromium driven through the DevTools protocol over a pipe (--remote-debugging-pipe: the
// browser reads commands from its descriptor 3 and answers on 4, each message a JSON text ending in
// NUL). One browser with a fresh profile per object; one page in it, attached as a flat session.

#include <QByteArray>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace pagimo::test {

class TBrowser {
public:
    // The browser to run: $PAGIMO_CHROMIUM, else Debian's chromium; empty when there is none.
    static std::string Executable() {
        if (const char* e = std::getenv("PAGIMO_CHROMIUM")) return e;
        return std::filesystem::exists("/usr/bin/chromium") ? "/usr/bin/chromium" : std::string();
    }

    TBrowser(int width = 1280, int height = 900) {
        int toBrowser[2], fromBrowser[2];
        if (::pipe(toBrowser) != 0 || ::pipe(fromBrowser) != 0) throw std::runtime_error("pipe");
        const std::string profile = "--user-data-dir=" + FProfile.path().toStdString();
        const std::string size = "--window-size=" + std::to_string(width) + "," + std::to_string(height);
        std::vector<std::string> args = {Executable(),
                                         "--headless",
                                         "--no-sandbox",
                                         "--disable-gpu",
                                         "--disable-quic",
                                         "--no-first-run",
                                         "--disable-background-networking",
                                         "--disable-component-update",
                                         "--disable-sync",
                                         "--hide-scrollbars",
                                         "--mute-audio",
                                         "--remote-debugging-pipe",
                                         profile,
                                         size,
                                         "about:blank"};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toBrowser[0], 3);
        posix_spawn_file_actions_adddup2(&actions, fromBrowser[1], 4);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP); // its helpers end with it
        posix_spawnattr_setpgroup(&attributes, 0);
        const int failed = posix_spawn(&FPid, argv[0], &actions, &attributes, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        ::close(toBrowser[0]);
        ::close(fromBrowser[1]);
        FOut = toBrowser[1];
        FIn = fromBrowser[0];
        if (failed) throw std::runtime_error("cannot start " + args[0]);
        const QString target =
            Call(QStringLiteral("Target.createTarget"), {{QStringLiteral("url"), QStringLiteral("about:blank")}}, false)
                .value(QStringLiteral("targetId"))
                .toString();
        FSession = Call(QStringLiteral("Target.attachToTarget"),
                        {{QStringLiteral("targetId"), target}, {QStringLiteral("flatten"), true}}, false)
                       .value(QStringLiteral("sessionId"))
                       .toString();
        Call(QStringLiteral("Page.enable"));
        Viewport(width, height);
    }

    ~TBrowser() {
        try {
            Call(QStringLiteral("Browser.close"), {}, false);
        } catch (const std::exception&) {
        }
        ::close(FOut);
        ::close(FIn);
        for (int i = 0; i < 50; ++i) {
            if (::waitpid(FPid, nullptr, WNOHANG) == FPid) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ::kill(-FPid, SIGKILL);
        ::waitpid(FPid, nullptr, 0);
    }
    TBrowser(const TBrowser&) = delete;
    TBrowser& operator=(const TBrowser&) = delete;

    pid_t Pid() const { return FPid; }

    // Sends a command (to the page unless onPage is false) and returns its result; throws with the
    // browser's message on an error or after a minute without an answer.
    QJsonObject Call(const QString& method, const QJsonObject& params = {}, bool onPage = true) {
        const int id = ++FNextId;
        QJsonObject message{
            {QStringLiteral("id"), id}, {QStringLiteral("method"), method}, {QStringLiteral("params"), params}};
        if (onPage) message.insert(QStringLiteral("sessionId"), FSession);
        QByteArray bytes = QJsonDocument(message).toJson(QJsonDocument::Compact);
        bytes.append('\0');
        for (qsizetype at = 0; at < bytes.size();) {
            const ssize_t n = ::write(FOut, bytes.constData() + at, static_cast<size_t>(bytes.size() - at));
            if (n <= 0) throw std::runtime_error("the browser is gone");
            at += n;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (;;) {
            for (size_t end; (end = FBuffer.find('\0')) != std::string::npos;) {
                const QJsonObject reply =
                    QJsonDocument::fromJson(QByteArray::fromStdString(FBuffer.substr(0, end))).object();
                FBuffer.erase(0, end + 1);
                if (reply.value(QStringLiteral("id")).toInt() != id) continue; // events and late answers
                if (reply.contains(QStringLiteral("error")))
                    throw std::runtime_error(
                        method.toStdString() + ": " +
                        QJsonDocument(reply.value(QStringLiteral("error")).toObject()).toJson().toStdString());
                return reply.value(QStringLiteral("result")).toObject();
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd p{FIn, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                throw std::runtime_error(method.toStdString() + ": no answer");
            char chunk[65536];
            const ssize_t n = ::read(FIn, chunk, sizeof chunk);
            if (n <= 0) throw std::runtime_error("the browser is gone");
            FBuffer.append(chunk, static_cast<size_t>(n));
        }
    }

    // The value of a script expression in the page (promises awaited); throws on an exception.
    QJsonValue Eval(const QString& expression) {
        const QJsonObject r = Call(QStringLiteral("Runtime.evaluate"), {{QStringLiteral("expression"), expression},
                                                                        {QStringLiteral("awaitPromise"), true},
                                                                        {QStringLiteral("returnByValue"), true}});
        if (r.contains(QStringLiteral("exceptionDetails")))
            throw std::runtime_error(
                QJsonDocument(r.value(QStringLiteral("exceptionDetails")).toObject()).toJson().toStdString());
        return r.value(QStringLiteral("result")).toObject().value(QStringLiteral("value"));
    }

    // Opens a file and waits until it is loaded, its fonts are ready and (for the viewer) it is shown.
    void Open(const std::filesystem::path& file) {
        Call(QStringLiteral("Page.navigate"),
             {{QStringLiteral("url"), QString::fromStdString("file://" + std::filesystem::absolute(file).string())}});
        Wait(QStringLiteral("document.readyState === 'complete'"));
        Eval(QStringLiteral("document.fonts.ready.then(() => true)"));
        Eval(QStringLiteral("new Promise(r => requestAnimationFrame(() => requestAnimationFrame(() => r(true))))"));
    }

    // Polls a script condition until it holds (or throws after a minute).
    void Wait(const QString& condition) {
        for (int i = 0; i < 6000; ++i) {
            if (Eval(condition).toBool()) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        throw std::runtime_error("timed out waiting for " + condition.toStdString());
    }

    void Viewport(int width, int height) {
        Call(QStringLiteral("Emulation.setDeviceMetricsOverride"), {{QStringLiteral("width"), width},
                                                                    {QStringLiteral("height"), height},
                                                                    {QStringLiteral("deviceScaleFactor"), 1},
                                                                    {QStringLiteral("mobile"), false}});
    }

    QImage Screenshot() {
        const QJsonObject r =
            Call(QStringLiteral("Page.captureScreenshot"), {{QStringLiteral("format"), QStringLiteral("png")}});
        return QImage::fromData(QByteArray::fromBase64(r.value(QStringLiteral("data")).toString().toLatin1()), "PNG");
    }

    // A key pressed and released as the keyboard sends it (key as the DOM names it, e.g. "PageDown";
    // modifiers: 2 Ctrl, 8 Shift).
    void Key(const QString& key, int modifiers = 0, const QString& text = {}) {
        static const std::vector<std::pair<QString, int>> codes = {
            {QStringLiteral("PageDown"), 34}, {QStringLiteral("PageUp"), 33}, {QStringLiteral("End"), 35},
            {QStringLiteral("Home"), 36},     {QStringLiteral("Enter"), 13},  {QStringLiteral("Escape"), 27},
            {QStringLiteral("Tab"), 9}};
        int code = key.size() == 1 ? key.toUpper().at(0).unicode() : 0;
        for (const auto& [name, c] : codes)
            if (name == key) code = c;
        for (const char* type : {"keyDown", "keyUp"}) {
            QJsonObject e{{QStringLiteral("type"), QString::fromLatin1(type)},
                          {QStringLiteral("key"), key},
                          {QStringLiteral("modifiers"), modifiers},
                          {QStringLiteral("windowsVirtualKeyCode"), code}};
            const QString typed = key == u"Enter" ? QStringLiteral("\r") : text; // Enter presses buttons
            if (!typed.isEmpty() && QString::fromLatin1(type) == u"keyDown") e.insert(QStringLiteral("text"), typed);
            Call(QStringLiteral("Input.dispatchKeyEvent"), e);
        }
    }

    // Memory of the browser's renderer processes, bytes: the processes below this browser whose command
    // line names them renderers. Private: the memory that is theirs alone (what the browser's task
    // manager counts as a tab's footprint); else the proportional set size, shared libraries included.
    int64_t RendererMemory(bool privateOnly = true) const {
        std::map<pid_t, pid_t> parents;
        for (const auto& e : std::filesystem::directory_iterator("/proc")) {
            std::ifstream stat(e.path() / "stat");
            std::string line;
            if (!std::getline(stat, line)) continue;
            const auto close = line.rfind(')');
            if (close == std::string::npos) continue;
            std::istringstream rest(line.substr(close + 2));
            std::string state;
            pid_t parent = 0;
            rest >> state >> parent;
            parents[static_cast<pid_t>(std::atoi(e.path().filename().c_str()))] = parent;
        }
        int64_t total = 0;
        for (const auto& [pid, parent] : parents) {
            pid_t up = parent;
            for (int depth = 0; up > 1 && up != FPid && depth < 8; ++depth)
                up = parents.count(up) ? parents[up] : 0;
            if (up != FPid) continue;
            const std::string dir = "/proc/" + std::to_string(pid);
            std::ifstream cmd(dir + "/cmdline");
            std::string line((std::istreambuf_iterator<char>(cmd)), {});
            if (line.find("--type=renderer") == std::string::npos) continue;
            std::ifstream smaps(dir + "/smaps_rollup");
            for (std::string l; std::getline(smaps, l);) {
                if (privateOnly ? l.rfind("Private_", 0) == 0 || l.rfind("Swap:", 0) == 0 : l.rfind("Pss:", 0) == 0)
                    total += std::stoll(l.substr(l.find(':') + 1)) * 1024;
            }
        }
        return total;
    }

private:
    QTemporaryDir FProfile;
    pid_t FPid = -1;
    int FOut = -1, FIn = -1;
    int FNextId = 0;
    QString FSession;
    std::string FBuffer;
};

} // namespace pagimo::test
