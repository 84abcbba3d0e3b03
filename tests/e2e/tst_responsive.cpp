// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// The installed window beside a port whose opening the kernel holds (a FUSE file answered after a
// minute, as a Bluetooth port's is once it connects) answers the window system as it does beside a
// pseudo-terminal. Measured as desktops measure it: a desktop pings a window (_NET_WM_PING) and
// marks it "not responding" when the answer is late. Pinged every 10 ms while the port list is
// opened three times and while a Read of that port waits for its verdict.
//
// Run by CTest on a display of its own (scripts/with-xvfb.sh), as root (FUSE), after the install
// fixture has put the program in E2E_PREFIX.

#include "HangingFileSystem.h"
#include "PortMapFile.h"
#include "XWindowDriver.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include <poll.h>

namespace {

using Clock = std::chrono::steady_clock;

xcb_atom_t atom(xcb_connection_t *x, const char *name) {
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t found = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return found;
}

// Pings a window every 10 ms from a thread and a connection of its own, as a window manager
// does, and keeps the longest wait for an answer (one still unanswered counts until now).
class Pinger {
public:
    explicit Pinger(xcb_window_t window)
        : m_window(window) {
        m_x = xcb_connect(nullptr, nullptr);
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_x)).data->root;
        m_protocols = atom(m_x, "WM_PROTOCOLS");
        m_ping = atom(m_x, "_NET_WM_PING");
        // The answer goes to the root window, to those who listen for its structure's changes.
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_x, m_root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_x);
        m_thread = std::thread([this] { run(); });
    }
    ~Pinger() {
        m_stop = true;
        m_thread.join();
        xcb_disconnect(m_x);
    }
    Pinger(const Pinger&) = delete;
    Pinger& operator=(const Pinger&) = delete;

    // The longest wait since the last reset, in milliseconds.
    qint64 longestMs() {
        const std::lock_guard lock(m_mutex);
        auto longest = m_longest;
        const Clock::time_point now = Clock::now();
        for (const auto& [id, sent] : m_unanswered)
            longest = std::max(longest, now - sent);
        return std::chrono::duration_cast<std::chrono::milliseconds>(longest).count();
    }
    void reset() {
        const std::lock_guard lock(m_mutex);
        m_longest = {};
        m_unanswered.clear();
    }
    [[nodiscard]] int answered() const { return m_answered; }

private:
    void run() {
        uint32_t next = 1;
        while (!m_stop) {
            xcb_client_message_event_t ping{};
            ping.response_type = XCB_CLIENT_MESSAGE;
            ping.format = 32;
            ping.window = m_window;
            ping.type = m_protocols;
            ping.data.data32[0] = m_ping;
            ping.data.data32[1] = next;
            ping.data.data32[2] = m_window;
            {
                const std::lock_guard lock(m_mutex);
                m_unanswered[next++] = Clock::now();
            }
            xcb_send_event(m_x, 0, m_window, XCB_EVENT_MASK_NO_EVENT,
                           reinterpret_cast<const char *>(&ping));
            xcb_flush(m_x);
            pollfd ready{xcb_get_file_descriptor(m_x), POLLIN, 0};
            (void)::poll(&ready, 1, 10);
            while (xcb_generic_event_t *event = xcb_poll_for_event(m_x)) {
                if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                    const auto *answer = reinterpret_cast<xcb_client_message_event_t *>(event);
                    if (answer->type == m_protocols && answer->data.data32[0] == m_ping)
                        take(answer->data.data32[1]);
                }
                std::free(event);
            }
        }
    }
    void take(uint32_t id) {
        const std::lock_guard lock(m_mutex);
        const auto it = m_unanswered.find(id);
        if (it == m_unanswered.end())
            return;
        m_longest = std::max(m_longest, Clock::now() - it->second);
        m_unanswered.erase(it);
        ++m_answered;
    }

    xcb_connection_t *m_x = nullptr;
    xcb_window_t m_window;
    xcb_window_t m_root = 0;
    xcb_atom_t m_protocols = 0;
    xcb_atom_t m_ping = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_answered{0};
    std::mutex m_mutex;
    std::map<uint32_t, Clock::time_point> m_unanswered;
    Clock::duration m_longest{};
};

// How long the window kept the window system waiting: while its list was opened, and while a
// Read of COM2 waited for its verdict; and how long that verdict took to show (a dialer's answer
// within the 500 ms window, or the opening given up after 1.5 s).
struct Waits {
    qint64 listMs = -1;
    qint64 readMs = -1;
    qint64 verdictMs = -1;
    qint64 exitMs = -1; // from the press of Exit to the program's end
};

} // namespace

class ResponsiveTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<QProcess>> m_devices;

    // A simulated dialer of its own process, answering whatever this test is doing.
    QString startDevice() {
        auto device = std::make_unique<QProcess>();
        device->start(QStringLiteral(DIALER_SIM), {});
        if (!device->waitForReadyRead(5000))
            return {};
        QString path = QString::fromLocal8Bit(device->readLine().trimmed());
        m_devices.push_back(std::move(device));
        return path;
    }

    // Starts the installed window with COM1 and COM2 as given, pings it through the list opened
    // three times and a Read of COM2, then leaves through Exit.
    Waits measure(const QString& com1, const QString& com2) {
        Waits waits;
        const QString config = m_dir.filePath(QStringLiteral("config"));
        if (!writePortMapFile(config, {{1, com1}, {2, com2}}))
            return waits;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", config);
        environment.insert("QT_QPA_PLATFORM", "xcb");
        QProcess app;
        app.setProcessEnvironment(environment);
        app.setWorkingDirectory(m_dir.path());
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        app.start(QStringLiteral(E2E_PREFIX "/bin/dialer-config"), {});
        XWindowDriver driver;
        if (!app.waitForStarted() || !driver.waitForWindow(30000))
            return waits;
        QTest::qWait(500); // the start-up probe's deadline has passed
        Pinger pinger(driver.window().toUInt());
        QTest::qWait(1000); // settled: the window answers at once
        pinger.reset();
        for (int i = 0; i < 3; ++i) {
            driver.clickOn("Combo1");
            XWindowDriver::run({"key", "F4"});
            QTest::qWait(300);
            XWindowDriver::run({"key", "Escape"});
            QTest::qWait(100);
        }
        waits.listMs = pinger.longestMs();

        driver.typePort(QStringLiteral("COM2"));
        QTest::qWait(100);
        pinger.reset();
        QElapsedTimer verdict;
        verdict.start();
        driver.clickOn("ReadCMD");
        const QString box =
            XWindowDriver::run({"search", "--sync", "--onlyvisible", "--name", "^info$"}, 5000);
        waits.verdictMs = box.isEmpty() ? -1 : verdict.elapsed();
        waits.readMs = pinger.longestMs();
        XWindowDriver::answerMessageBox();

        QElapsedTimer exit;
        exit.start();
        driver.clickOn("ExitCMD");
        if (app.waitForFinished(5000))
            waits.exitMs = exit.elapsed();
        else
            app.kill();
        return waits;
    }

private Q_SLOTS:
    void cleanupTestCase() {
        for (auto& device : m_devices) {
            device->terminate();
            device->waitForFinished();
        }
    }

    // Three rounds of each, taken in turn: a window that waits on the port waits in every round,
    // while a machine busy with other work slows a round here and there. Each side's best round
    // is compared.
    void windowAnswersBesideAPortTheKernelHolds() {
        const QString first = startDevice();
        const QString second = startDevice();
        QVERIFY(!first.isEmpty() && !second.isEmpty());
        const HangingFileSystem hanging(120);
        QVERIFY(hanging.isMounted());
        Waits beside{LLONG_MAX, LLONG_MAX, LLONG_MAX, LLONG_MAX};
        Waits held{LLONG_MAX, LLONG_MAX, LLONG_MAX, LLONG_MAX};
        for (int round = 0; round < 3; ++round) {
            const Waits pty = measure(first, second);
            QVERIFY2(pty.listMs >= 0 && pty.readMs >= 0, "no window");
            QVERIFY2(pty.verdictMs > 0 && pty.verdictMs < 1400,
                     qPrintable(QString::number(pty.verdictMs)));
            const Waits kernel = measure(first, hanging.portPath());
            QVERIFY2(kernel.listMs >= 0 && kernel.readMs >= 0, "no window");
            // The verdict on a port that did not open comes at the opening's deadline, and Exit
            // ends the program whatever is still waiting for the port.
            QVERIFY2(kernel.verdictMs >= 1400, qPrintable(QString::number(kernel.verdictMs)));
            QVERIFY2(kernel.exitMs >= 0, "the window did not end at Exit");
            for (auto [best, now] : {std::pair{&beside, pty}, std::pair{&held, kernel}}) {
                best->listMs = std::min(best->listMs, now.listMs);
                best->readMs = std::min(best->readMs, now.readMs);
                best->verdictMs = std::min(best->verdictMs, now.verdictMs);
                best->exitMs = std::min(best->exitMs, now.exitMs);
            }
        }
        qInfo("longest answer to a ping: list %lld ms (%lld beside a pseudo-terminal), read %lld "
              "ms (%lld); verdict after %lld ms; Exit took %lld ms (%lld)",
              held.listMs, beside.listMs, held.readMs, beside.readMs, held.verdictMs, held.exitMs,
              beside.exitMs);
        QVERIFY2(held.listMs <= beside.listMs + 150, qPrintable(QString::number(held.listMs)));
        QVERIFY2(held.readMs <= beside.readMs + 150, qPrintable(QString::number(held.readMs)));
        QVERIFY2(held.verdictMs < 2500, qPrintable(QString::number(held.verdictMs)));
        QVERIFY2(held.exitMs <= beside.exitMs + 150, qPrintable(QString::number(held.exitMs)));
    }
};

QTEST_MAIN(ResponsiveTest)
#include "tst_responsive.moc"
