#include "interruptwatcher.h"

#include <QFile>
#include <QSocketNotifier>

#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};
std::atomic<int> signalCount{0};

// The unfinished file and its journal, as the signal handler needs them: ready-made paths,
// published by the flag once written.
constexpr int PathSize = 4096;
char unfinishedFile[2][PathSize];
std::atomic<bool> hasUnfinishedFile{false};

void onSignal(int signal)
{
    // Only async-signal-safe work here.
    if (signalCount.fetch_add(1) > 0) {
        // The second one: the user insists. The process ends as the signal ends it, but leaves
        // no hidden temporary file behind.
        if (hasUnfinishedFile.load())
            for (const char* path : unfinishedFile)
                ::unlink(path);
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    // The event loop reads the byte.
    const char byte = 1;
    if (::write(signalPipe[1], &byte, 1) < 0)
        return;
}

} // namespace

InterruptWatcher::InterruptWatcher(QObject* parent)
    : QObject(parent)
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    signalCount = 0;
    m_notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &InterruptWatcher::onActivated);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &m_oldInterrupt);
    sigaction(SIGTERM, &action, &m_oldTerminate);
}

InterruptWatcher::~InterruptWatcher()
{
    if (!m_notifier)
        return;
    sigaction(SIGINT, &m_oldInterrupt, nullptr);
    sigaction(SIGTERM, &m_oldTerminate, nullptr);
    delete m_notifier;
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void InterruptWatcher::setUnfinishedFile(const QString& path)
{
    hasUnfinishedFile = false;
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty() || name.size() + 8 >= PathSize)
        return;
    std::strcpy(unfinishedFile[0], name.constData());
    std::strcpy(unfinishedFile[1], (name + "-journal").constData());
    hasUnfinishedFile = true;
}

void InterruptWatcher::onActivated()
{
    char bytes[16];
    while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    if (m_interrupted)
        return;
    m_interrupted = true;
    emit interrupted();
}
