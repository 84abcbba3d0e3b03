// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// The opening helper on Windows: started with CreateProcess in the system folder, with no console,
// an environment of SystemRoot alone, the device as its only argument, and nothing handed down but
// its two pipes and the device's guard (a handle list). It answers on its standard output, a pipe
// looked at every few milliseconds from the event loop while the opening is under way: a look
// (PeekNamedPipe) never waits, and only what is there is read, so the answer, or the helper's end
// without one, arrives in the event loop and never holds it. (A QWinEventNotifier on an overlapped
// read would need no timer, but its thread-pool wait, made and destroyed with each opening,
// crashes programs under wine now and then.) The opened device is the helper's handle, which is
// copied here (DuplicateHandle) before one byte on the helper's standard input lets it close its
// own and end.
//
// The guard: a named mutex per device in the session's namespace, made by this program before it
// starts a helper and handed down to the helper, which holds it until it ends. The mutex is never
// taken: it exists while a helper lives, and an opening that finds it existing waits, here or in
// any other run, so a helper left waiting in the system stays the only one for its device.

#include "Opening_p.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>

#include <string>
#include <vector>

#include <windows.h>

namespace {

// How often a device whose guard is held is looked at again.
constexpr int GuardRetryMs = 20;
// How often the helper's pipe is looked at while its answer is awaited.
constexpr int AnswerPollMs = 5;

// The name of a device's guard. The device namespace and the case of a name are the system's way
// of writing, not another device: COM3, com3 and \\.\COM3 are one port.
std::wstring guardName(const QString& devicePath) {
    QString name = devicePath;
    for (const QString& prefix : {QStringLiteral("\\\\.\\"), QStringLiteral("\\\\?\\")}) {
        if (name.startsWith(prefix))
            name = name.mid(prefix.size());
    }
    name = name.toUpper().replace(u'\\', u'/');
    if (name.size() > 200)
        name = QString::fromLatin1(
            QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha256).toHex());
    return (QStringLiteral("Local\\dialer-config-opening.") + name).toStdWString();
}

struct Guard {
    HANDLE handle = nullptr; // made here, where there is one
    bool held = false;       // a helper holds it
};
Guard takeGuard(const QString& devicePath) {
    SetLastError(ERROR_SUCCESS);
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, guardName(devicePath).c_str());
    if (mutex == nullptr)
        // One this user may not open is held all the same; another failure leaves the opening
        // unguarded.
        return {nullptr, GetLastError() == ERROR_ACCESS_DENIED};
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return {nullptr, true};
    }
    return {mutex, false};
}

void closeHandle(HANDLE& handle) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    handle = nullptr;
}

// A command line the C runtime splits back into the same arguments.
void appendQuoted(std::wstring& line, const std::wstring& argument) {
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

std::wstring systemFolder() {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(folder, length) : std::wstring(L"C:\\");
}

// SystemRoot alone: the system's own libraries look for it, and the helper needs nothing else.
std::wstring environmentBlock() {
    wchar_t windows[MAX_PATH] = {};
    const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    std::wstring block = L"SystemRoot=";
    block += length > 0 && length < MAX_PATH ? std::wstring(windows, length) : L"C:\\Windows";
    block += L'\0';
    block += L'\0';
    return block;
}

// The helper's ends of its pipes, and the guard, are the only handles it inherits. (Where the
// system takes no such list, it inherits every inheritable handle: this program makes no others.)
class Inheritance {
public:
    explicit Inheritance(std::vector<HANDLE> handles)
        : m_handles(std::move(handles)) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        m_room.resize(size);
        auto *list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_room.data());
        if (InitializeProcThreadAttributeList(list, 1, 0, &size) &&
            UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, m_handles.data(),
                                      m_handles.size() * sizeof(HANDLE), nullptr, nullptr))
            m_list = list;
    }
    ~Inheritance() {
        if (m_list)
            DeleteProcThreadAttributeList(m_list);
    }
    Inheritance(const Inheritance&) = delete;
    Inheritance& operator=(const Inheritance&) = delete;

    [[nodiscard]] LPPROC_THREAD_ATTRIBUTE_LIST list() const { return m_list; }

private:
    std::vector<HANDLE> m_handles;
    std::vector<char> m_room;
    LPPROC_THREAD_ATTRIBUTE_LIST m_list = nullptr;
};

} // namespace

struct DeviceOpening::Private {
    explicit Private(DeviceOpening *opening)
        : q(opening) {
        guardRetry.setSingleShot(true);
        QObject::connect(&guardRetry, &QTimer::timeout, q, [this] { tryStart(); });
        answerPoll.setInterval(AnswerPollMs);
        QObject::connect(&answerPoll, &QTimer::timeout, q, [this] { readAnswer(); });
    }

    DeviceOpening *q;
    QString devicePath;
    bool underWay = false;
    QTimer guardRetry;
    QTimer answerPoll;
    HANDLE process = nullptr;
    HANDLE answers = nullptr; // this end of the helper's standard output
    HANDLE taken = nullptr;   // this end of its standard input
    OpenerProtocol::Answer record;
    DWORD received = 0;

    // Starts the helper once the device's guard is free; false while another helper holds it.
    bool tryStart() {
        const Guard guard = takeGuard(devicePath);
        if (guard.held) {
            guardRetry.start(GuardRetryMs);
            return false;
        }
        spawn(guard.handle);
        return true;
    }

    void spawn(HANDLE guard) {
        HANDLE theirOutput = nullptr;
        HANDLE theirInput = nullptr;
        const bool piped =
            CreatePipe(&answers, &theirOutput, nullptr, 0) &&
            CreatePipe(&theirInput, &taken, nullptr, 0) &&
            SetHandleInformation(theirOutput, HANDLE_FLAG_INHERIT, 1) &&
            SetHandleInformation(theirInput, HANDLE_FLAG_INHERIT, 1) &&
            (guard == nullptr || SetHandleInformation(guard, HANDLE_FLAG_INHERIT, 1));
        if (!piped) {
            const DWORD code = GetLastError();
            closeHandle(theirOutput);
            closeHandle(theirInput);
            closeHandle(guard);
            fail(HelperAnswer::noChannel(code));
            return;
        }

        const QString program = QDir::toNativeSeparators(DeviceOpening::program());
        std::vector<HANDLE> inherited{theirInput, theirOutput};
        if (guard != nullptr)
            inherited.push_back(guard);
        const Inheritance inheritance(std::move(inherited));
        STARTUPINFOEXW startup{};
        startup.StartupInfo.cb = sizeof startup;
        startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdInput = theirInput;
        startup.StartupInfo.hStdOutput = theirOutput;
        startup.lpAttributeList = inheritance.list();
        std::wstring commandLine;
        appendQuoted(commandLine, QString::fromLatin1(OpenerProtocol::ProgramName).toStdWString());
        commandLine += L' ';
        appendQuoted(commandLine, devicePath.toStdWString());
        std::wstring environment = environmentBlock();
        const std::wstring folder = systemFolder();
        const std::wstring path = program.toStdWString();
        PROCESS_INFORMATION started{};
        const DWORD flags = DETACHED_PROCESS | CREATE_UNICODE_ENVIRONMENT |
                            (inheritance.list() ? EXTENDED_STARTUPINFO_PRESENT : 0);
        const BOOL created =
            CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, flags,
                           environment.data(), folder.c_str(), &startup.StartupInfo, &started);
        const DWORD code = GetLastError();
        // The helper's copies keep its pipes and the device's guard open until it ends.
        closeHandle(theirOutput);
        closeHandle(theirInput);
        closeHandle(guard);
        if (!created) {
            fail(HelperAnswer::notStarted(code));
            return;
        }
        CloseHandle(started.hThread);
        process = started.hProcess;
        answerPoll.start();
        readAnswer();
    }

    // Takes what the helper has said so far, without waiting: the whole answer, or the pipe's end
    // before it, ends the opening.
    void readAnswer() {
        if (answers == nullptr)
            return;
        DWORD waiting = 0;
        if (!PeekNamedPipe(answers, nullptr, 0, nullptr, &waiting, nullptr)) {
            takeAnswer(GetLastError());
            return;
        }
        if (waiting == 0)
            return;
        DWORD got = 0;
        auto *into = reinterpret_cast<char *>(&record) + received;
        if (!ReadFile(answers, into, std::min<DWORD>(waiting, sizeof record - received), &got,
                      nullptr)) {
            takeAnswer(GetLastError());
            return;
        }
        received += got;
        if (received == sizeof record)
            takeAnswer(ERROR_SUCCESS);
    }

    // The helper's answer, whole (`code` ERROR_SUCCESS) or cut short by `code`. The opened
    // device is the helper's handle, copied here before the helper may let its own go.
    void takeAnswer(DWORD code) {
        HelperAnswer::Received got;
        got.bytes = qsizetype(received);
        got.hungUp = code == ERROR_BROKEN_PIPE;
        if (code != ERROR_SUCCESS && code != ERROR_BROKEN_PIPE)
            got.readError = code;
        HANDLE device = nullptr;
        if (received == sizeof record && record.kind == OpenerProtocol::Opened) {
            if (DuplicateHandle(
                    process, reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(record.handle)),
                    GetCurrentProcess(), &device, 0, FALSE, DUPLICATE_SAME_ACCESS))
                got.device = reinterpret_cast<qintptr>(device);
            else
                got.readError = GetLastError();
        }
        const Answer answer = HelperAnswer::interpret(record, got);
        if (answer.kind == Answer::Kind::Opened) {
            // The device is this program's now: the helper may let its copy go.
            const char sign = 1;
            DWORD written = 0;
            (void)WriteFile(taken, &sign, 1, &written, nullptr);
        } else if (device != nullptr) {
            CloseHandle(device);
        }
        endWith(answer);
    }

    void fail(QString reason) {
        Answer answer;
        answer.reason = std::move(reason);
        endWith(std::move(answer));
    }

    // Lets go of the helper: its pipes close (an answer still to come finds nobody, and the
    // helper closes the device and ends). A process leaves nothing to reap here; its handle goes.
    void releaseHelper() {
        guardRetry.stop();
        answerPoll.stop();
        closeHandle(answers);
        closeHandle(taken);
        closeHandle(process);
        received = 0;
        record = {};
        underWay = false;
    }

    void endWith(Answer answer) {
        releaseHelper();
        q->deliver(std::move(answer));
    }
};

DeviceOpening::DeviceOpening(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this)) {}

DeviceOpening::~DeviceOpening() {
    cancel();
}

void DeviceOpening::start(const QString& devicePath) {
    if (d->underWay)
        return;
    d->underWay = true;
    d->devicePath = devicePath;
    d->tryStart();
}

void DeviceOpening::cancel() {
    if (d->underWay)
        d->releaseHelper();
}

bool DeviceOpening::isUnderWay() const {
    return d->underWay;
}

bool DeviceOpening::waitForAnswer(int waitMs) {
    QElapsedTimer waited;
    waited.start();
    while (d->underWay) {
        const int left = int(std::max<qint64>(0, waitMs - waited.elapsed()));
        if (d->process == nullptr) {
            // Waiting for another opening of the device to end.
            d->guardRetry.stop();
            if (d->tryStart())
                continue;
            if (left == 0)
                return false; // the retries go on from the event loop
            d->guardRetry.stop();
            Sleep(DWORD(std::min(left, GuardRetryMs)));
            continue;
        }
        d->readAnswer();
        if (!d->underWay)
            break;
        if (left == 0)
            return false;
        Sleep(DWORD(std::min(left, AnswerPollMs)));
    }
    return true;
}

QStringList openingHelperLocations(const QString& programFolder) {
    return {programFolder + u'/' + QString::fromLatin1(OpenerProtocol::ProgramName) +
            QStringLiteral(".exe")};
}
