#include "simpty.h"

#include "simline.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace panelsim {

namespace {

bool fail(QString* error, const char* what)
{
    if (error)
        *error = QStringLiteral("%1: %2").arg(QLatin1String(what),
                                              QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

bool makeRaw(int fd)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    cfsetispeed(&tio, B57600);
    cfsetospeed(&tio, B57600);
    tio.c_cflag |= CLOCAL | CREAD;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

// Whether `path` is free for a link: nothing there, or a symbolic link to replace.
bool linkPlace(const QString& path, QString* error)
{
    struct stat info = {};
    const bool free = ::lstat(QFile::encodeName(path).constData(), &info) != 0
                          ? errno == ENOENT
                          : S_ISLNK(info.st_mode);
    if (!free && error)
        *error = QStringLiteral("%1: something other than a symbolic link is there").arg(path);
    return free;
}

void removeLink(const QString& path)
{
    if (!path.isEmpty() && linkPlace(path, nullptr))
        ::unlink(QFile::encodeName(path).constData());
}

// Replaces the link in one step, so that whoever opens it never finds it missing or half made.
bool pointLink(const QString& path, const QString& target, QString* error)
{
    if (!linkPlace(path, error))
        return false;
    const QByteArray name = QFile::encodeName(path);
    const QByteArray fresh = name + ".new";
    ::unlink(fresh.constData());
    if (::symlink(QFile::encodeName(target).constData(), fresh.constData()) != 0)
        return fail(error, "symlink");
    if (::rename(fresh.constData(), name.constData()) != 0) {
        fail(error, "rename");
        ::unlink(fresh.constData());
        return false;
    }
    return true;
}

int speed(speed_t code)
{
    const std::pair<speed_t, int> known[] = {{B1200, 1200},   {B2400, 2400},    {B4800, 4800},
                                             {B9600, 9600},   {B19200, 19200},  {B38400, 38400},
                                             {B57600, 57600}, {B115200, 115200}};
    for (const auto& entry : known)
        if (entry.first == code)
            return entry.second;
    return -1;
}

} // namespace

SimPty::SimPty(SimLine& line)
    : m_line(line)
{}

SimPty::~SimPty()
{
    close();
}

bool SimPty::open(QString* error)
{
    std::lock_guard<std::mutex> control(m_control);
    if (m_thread.joinable())
        return true;
    QString slave;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (openFds(error))
            slave = m_slavePath;
    }
    if (slave.isEmpty() || (!m_linkPath.isEmpty() && !pointLink(m_linkPath, slave, error))) {
        closeFds();
        return false;
    }
    m_stopping = false;
    m_thread = std::thread(
        [this, master = m_master, wake = m_wake] { m_line.serve(master, wake, m_stopping); });
    return true;
}

void SimPty::close()
{
    std::lock_guard<std::mutex> control(m_control);
    if (!m_thread.joinable())
        return;
    m_stopping = true;
    const quint64 one = 1;
    if (::write(m_wake, &one, sizeof one) < 0)
        qWarning("panel simulator: cannot wake the service thread");
    m_thread.join();
    removeLink(m_linkPath);
    closeFds();
}

bool SimPty::setLinkPath(const QString& path, QString* error)
{
    std::lock_guard<std::mutex> control(m_control);
    if (path == m_linkPath)
        return true;
    if (!path.isEmpty()) {
        // While closed, the link is made at the next open; only its place is checked now.
        const QString slave = slavePath();
        if (!(slave.isEmpty() ? linkPlace(path, error) : pointLink(path, slave, error)))
            return false;
    }
    removeLink(m_linkPath);
    m_linkPath = path;
    return true;
}

bool SimPty::isOpen() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_master >= 0;
}

QString SimPty::slavePath() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_slavePath;
}

bool SimPty::openFds(QString* error)
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0)
        return fail(error, "posix_openpt");
    char name[128] = {};
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0 || ptsname_r(m_master, name, sizeof name))
        return fail(error, "pseudo-terminal setup");
    // The slave stays open while the pty is: without it the master reports a hang-up whenever
    // the program closes its port.
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0)
        return fail(error, "open slave");
    // Raw before anyone else can open it: echo would bounce requests back and output
    // processing would turn 0x0A into 0x0D 0x0A.
    if (!makeRaw(m_slave))
        return fail(error, "raw mode");
    if (fcntl(m_master, F_SETFL, O_NONBLOCK) != 0 || fcntl(m_master, F_SETFD, FD_CLOEXEC) != 0)
        return fail(error, "fcntl");
    m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wake < 0)
        return fail(error, "eventfd");
    m_slavePath = QString::fromLocal8Bit(name);
    return true;
}

void SimPty::closeFds()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int* fd : {&m_wake, &m_slave, &m_master}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    m_slavePath.clear();
}

PanelSimulator::LineSettings SimPty::lineSettings() const
{
    termios tio{};
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // On Linux the master reports the terminal settings of the slave side.
        if (m_master < 0 || tcgetattr(m_master, &tio) != 0)
            return PanelSimulator::LineSettings();
    }
    const tcflag_t size = tio.c_cflag & CSIZE;
    PanelSimulator::LineSettings line;
    const int output = speed(cfgetospeed(&tio));
    line.baudRate = output == speed(cfgetispeed(&tio)) ? output : 0;
    line.dataBits = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
    line.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
    const bool odd = tio.c_cflag & PARODD;
    if (tio.c_cflag & CMSPAR)
        line.parity = odd ? 'M' : 'S';
    else if (tio.c_cflag & PARENB)
        line.parity = odd ? 'O' : 'E';
    line.hardwareFlow = tio.c_cflag & CRTSCTS;
    line.softwareFlow = tio.c_iflag & (IXON | IXOFF);
    return line;
}

} // namespace panelsim
