// The serial-port library over POSIX termios: one port at a time, raw 8N1,
// no flow control, no echo or line translation. Works on real serial ports
// and on pseudo-terminals. Reads and writes use poll() with the time-outs
// set through the library, so no call blocks longer than asked.

#include "link/serial_api.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#define KM7_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex g_mutex;          // guards the settings below, not the I/O itself
int g_fd = -1;
int g_readTotalMs = 100;
int g_writeTotalMs = 100;

using Clock = std::chrono::steady_clock;

// The port and a time-out as they stand when an I/O call starts; the call
// itself runs without the lock.
struct IoSnapshot {
    int fd;
    int totalMs;
};

IoSnapshot Snapshot(const int& timeout)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return {g_fd, timeout};
}

int remainingMs(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

speed_t speedFor(int baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return B115200;
    }
}

void applyRaw(int fd)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return; // not a terminal: nothing to configure
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    tcsetattr(fd, TCSANOW, &tio);
}

void changeFlags(tcflag_t clear, tcflag_t set)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_fd < 0)
        return;
    termios tio{};
    if (tcgetattr(g_fd, &tio) != 0)
        return;
    tio.c_cflag = (tio.c_cflag & ~clear) | set;
    tcsetattr(g_fd, TCSANOW, &tio);
}

void modemLine(int bit, int on)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_fd < 0)
        return;
    ioctl(g_fd, on ? TIOCMBIS : TIOCMBIC, &bit);
}

} // namespace

KM7_EXPORT int _Connected(void)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_fd >= 0 ? 1 : 0;
}

KM7_EXPORT void _Open(const char* portName, int /*flags*/)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_fd >= 0 || !portName || !*portName)
        return;
    int fd = ::open(portName, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    if (!isatty(fd)) {
        ::close(fd);
        return;
    }
    ioctl(fd, TIOCEXCL); // no second program on the same line
    applyRaw(fd);
    tcflush(fd, TCIOFLUSH);
    g_fd = fd;
}

KM7_EXPORT void _Close(void)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_fd >= 0) {
        // The exclusive flag outlives our descriptor while another holds the
        // line open (a simulator keeps its pty): give it up first.
        ioctl(g_fd, TIOCNXCL);
        ::close(g_fd);
        g_fd = -1;
    }
}

KM7_EXPORT void _ClearBuffers(int rx, int tx)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_fd < 0)
        return;
    if (rx && tx)
        tcflush(g_fd, TCIOFLUSH);
    else if (rx)
        tcflush(g_fd, TCIFLUSH);
    else if (tx)
        tcflush(g_fd, TCOFLUSH);
}

KM7_EXPORT void _SetBaudrate(int baud)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_fd < 0)
        return;
    termios tio{};
    if (tcgetattr(g_fd, &tio) != 0)
        return;
    cfsetispeed(&tio, speedFor(baud));
    cfsetospeed(&tio, speedFor(baud));
    tcsetattr(g_fd, TCSANOW, &tio);
}

KM7_EXPORT void _WriteTimeouts(int /*multiplier*/, int constantMs)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_writeTotalMs = constantMs > 0 ? constantMs : 0;
}

KM7_EXPORT void _ReadTimeouts(int /*intervalMs*/, int /*multiplier*/, int totalMs)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_readTotalMs = totalMs > 0 ? totalMs : 0;
}

KM7_EXPORT int _Write(const void* bytes, int count)
{
    const auto [fd, totalMs] = Snapshot(g_writeTotalMs);
    if (fd < 0 || !bytes || count <= 0)
        return 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(totalMs);
    const auto* p = static_cast<const unsigned char*>(bytes);
    int done = 0;
    while (done < count) {
        ssize_t n = ::write(fd, p + done, static_cast<size_t>(count - done));
        if (n > 0) {
            done += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            break;
        pollfd pfd{fd, POLLOUT, 0};
        int left = remainingMs(deadline);
        if (left == 0 || ::poll(&pfd, 1, left) <= 0)
            break;
    }
    return done;
}

KM7_EXPORT int _Read(void* buffer, int count)
{
    const auto [fd, totalMs] = Snapshot(g_readTotalMs);
    if (fd < 0 || !buffer || count <= 0)
        return 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(totalMs);
    auto* p = static_cast<unsigned char*>(buffer);
    int done = 0;
    while (done < count) {
        ssize_t n = ::read(fd, p + done, static_cast<size_t>(count - done));
        if (n > 0) {
            done += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            break; // the device went away (unplugged adapter, closed pty)
        pollfd pfd{fd, POLLIN, 0};
        int left = remainingMs(deadline);
        if (left == 0)
            break;
        int r = ::poll(&pfd, 1, left);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        if (pfd.revents & (POLLERR | POLLNVAL))
            break;
        if ((pfd.revents & POLLHUP) && !(pfd.revents & POLLIN))
            break;
    }
    return done;
}

KM7_EXPORT void _SetTwoStopBits(int on)
{
    changeFlags(CSTOPB, on ? CSTOPB : 0);
}

KM7_EXPORT void _SetParity(int parity)
{
    // 0 none, 1 odd, 2 even
    tcflag_t set = 0;
    if (parity == 1)
        set = PARENB | PARODD;
    else if (parity == 2)
        set = PARENB;
    changeFlags(PARENB | PARODD, set);
}

KM7_EXPORT void _SetDTR(int on) { modemLine(TIOCM_DTR, on); }

KM7_EXPORT void _SetRTS(int on) { modemLine(TIOCM_RTS, on); }

KM7_EXPORT int _InputCount(void)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_fd < 0)
        return 0;
    int n = 0;
    if (ioctl(g_fd, FIONREAD, &n) != 0)
        return 0;
    return n;
}
